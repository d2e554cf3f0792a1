#include "gui/filter_bar.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "find/filter_text.h"

namespace kestrum {

namespace {

struct Chance {
  const char* text;
  RecoveryChance chance;
};
constexpr Chance kChances[] = {{QT_TRANSLATE_NOOP("kestrum", "良好"), kRecoveryGood},
                               {QT_TRANSLATE_NOOP("kestrum", "部分覆盖"), kRecoveryPartial},
                               {QT_TRANSLATE_NOOP("kestrum", "已覆盖"), kRecoveryOverwritten},
                               {QT_TRANSLATE_NOOP("kestrum", "未知"), kRecoveryUnknown},
                               {QT_TRANSLATE_NOOP("kestrum", "未验证"), kRecoveryUnverified}};

QLineEdit* Edit(QWidget* parent, const char* name, const QString& placeholder, int width) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(name));
  edit->setPlaceholderText(placeholder);
  edit->setClearButtonEnabled(true);
  // Room for the whole hint, in either language: the frame and margins
  // around the text take 12 px.
  const int needed = edit->fontMetrics().horizontalAdvance(placeholder) + 12;
  edit->setMinimumWidth(needed);
  if (width > 0) edit->setMaximumWidth(std::max(width, needed));
  return edit;
}

std::string Utf8Of(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

}  // namespace

CFilterBar::CFilterBar(QWidget* parent) : QWidget(parent) {
  name_ = Edit(this, "filterName", tr("名称（可用 * 和 ?）"), 0);
  type_ = new QComboBox(this);
  type_->setObjectName(QStringLiteral("filterType"));
  type_->addItem(tr("全部类型"));
  for (int g = 0; g < kTypeGroupCount; ++g) {
    type_->addItem(QString::fromStdU16String(TypeGroupText(static_cast<TypeGroup>(g))));
  }
  minSize_ = Edit(this, "filterMinSize", tr("最小，如 10K"), 90);
  maxSize_ = Edit(this, "filterMaxSize", tr("最大，如 2M"), 90);
  since_ = Edit(this, "filterSince", tr("从，如 2024-06-01"), 160);
  until_ = Edit(this, "filterUntil", tr("到，如 2024-08-31"), 160);
  deletedOnly_ = new QCheckBox(tr("只显示已删除"), this);
  deletedOnly_->setObjectName(QStringLiteral("filterDeletedOnly"));
  chance_ = new QComboBox(this);
  chance_->setObjectName(QStringLiteral("filterChance"));
  chance_->addItem(tr("任何恢复可能性"));
  for (const Chance& c : kChances) chance_->addItem(QCoreApplication::translate("kestrum", c.text));
  clear_ = new QPushButton(tr("清除筛选"), this);
  clear_->setObjectName(QStringLiteral("filterClear"));
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("filterMessage"));
  message_->setTextFormat(Qt::PlainText);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(new QLabel(tr("查找："), this), 0, 0);
  grid->addWidget(name_, 0, 1, 1, 3);
  grid->addWidget(type_, 0, 4);
  grid->addWidget(chance_, 0, 5);
  grid->addWidget(deletedOnly_, 0, 6);
  grid->addWidget(new QLabel(tr("大小："), this), 1, 0);
  grid->addWidget(minSize_, 1, 1);
  grid->addWidget(maxSize_, 1, 2);
  auto* dates = new QHBoxLayout;
  dates->addWidget(new QLabel(tr("修改日期："), this));
  dates->addWidget(since_);
  dates->addWidget(until_);
  grid->addLayout(dates, 1, 3, 1, 3);
  grid->addWidget(clear_, 1, 6);
  grid->addWidget(message_, 2, 0, 1, 7);
  grid->setColumnStretch(3, 1);

  for (QLineEdit* edit : {name_, minSize_, maxSize_, since_, until_}) {
    connect(edit, &QLineEdit::textChanged, this, &CFilterBar::FilterEdited);
  }
  for (QComboBox* box : {type_, chance_}) {
    connect(box, &QComboBox::currentIndexChanged, this, &CFilterBar::FilterEdited);
  }
  connect(deletedOnly_, &QCheckBox::toggled, this, &CFilterBar::FilterEdited);
  connect(clear_, &QPushButton::clicked, this, [this] {
    ClearQuietly();
    emit FilterEdited();
  });
}

bool CFilterBar::ReadFilter(FileFilter& out, std::u16string& problem) const {
  out = FileFilter{};
  problem.clear();
  std::u16string name = name_->text().toStdU16String();
  if (!name.empty() && name.find_first_of(u"*?") == std::u16string::npos) name = u"*" + name + u"*";
  out.name = std::move(name);
  if (type_->currentIndex() > 0) out.AddGroup(static_cast<TypeGroup>(type_->currentIndex() - 1));
  if (chance_->currentIndex() > 0) out.AddChance(kChances[chance_->currentIndex() - 1].chance);
  out.deletedOnly = deletedOnly_->isChecked();
  const std::pair<QLineEdit*, std::optional<std::uint64_t>*> sizes[] = {{minSize_, &out.minSize},
                                                                        {maxSize_, &out.maxSize}};
  for (const auto& [edit, bound] : sizes) {
    const std::string text = Utf8Of(edit);
    std::uint64_t bytes = 0;
    if (text.empty()) continue;
    if (!ParseSizeText(text, bytes)) {
      problem = tr("无法识别的大小：%1（例如 500、10K、1.5M、2G）").arg(edit->text().trimmed()).toStdU16String();
      return false;
    }
    *bound = bytes;
  }
  const std::pair<QLineEdit*, std::optional<std::int64_t>*> dates[] = {{since_, &out.since}, {until_, &out.until}};
  for (const auto& [edit, bound] : dates) {
    const std::string text = Utf8Of(edit);
    std::int64_t seconds = 0;
    if (text.empty()) continue;
    if (!ParseDateText(text, bound == &out.until, seconds)) {
      problem = tr("无法识别的日期：%1（例如 2024-06-30）").arg(edit->text().trimmed()).toStdU16String();
      return false;
    }
    *bound = seconds;
  }
  problem = FilterProblemText(CheckFilter(out));
  return problem.empty();
}

void CFilterBar::ClearQuietly() {
  const QSignalBlocker blocker(this);
  for (QLineEdit* edit : {name_, minSize_, maxSize_, since_, until_}) {
    const QSignalBlocker editBlocker(edit);
    edit->clear();
  }
  for (QComboBox* box : {type_, chance_}) {
    const QSignalBlocker boxBlocker(box);
    box->setCurrentIndex(0);
  }
  const QSignalBlocker checkBlocker(deletedOnly_);
  deletedOnly_->setChecked(false);
  message_->clear();
}

void CFilterBar::ShowMessage(const QString& text, bool problem) {
  message_->setText(text);
  message_->setStyleSheet(problem ? QStringLiteral("color: #b00020;") : QString());
}

}  // namespace kestrum
