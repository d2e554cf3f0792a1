// The program's own message boxes on screen: every text shown whole (long
// Chinese lines wrap instead of being cut), and Enter gives the answer the
// question is meant to default to.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "gui/qt_dialogs.h"
#include "gui_test_support.h"

namespace kestrum::test {
namespace {

// The label holds its text, and the box stays on the screen.
void ExpectHoldsItsText(QMessageBox* box) {
  auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  ASSERT_NE(label, nullptr);
  ExpectLabelHoldsItsText(label);
  EXPECT_TRUE(box->rect().contains(label->geometry())) << label->text().toStdString();
  EXPECT_LE(box->width(), box->screen()->availableGeometry().width());
}

TEST(MessageBoxes, EveryBoxShowsItsWholeText) {
  const std::u16string texts[] = {
      u"重建分区表完成，请重启电脑查看分区是否已经找回。",
      u"重建分区表完成，系统已重新读取分区表，找回的分区无需重启即可使用。",
      u"上次扫描过此设备，是否复用上次扫描的数据?",
      u"重建分区表没有完成，有扇区没有写入磁盘。原来的分区表保存在修复历史中，可以用“撤销重建操作”恢复。",
      u"无法打开设备: /dev/sdb（权限不足）\n读取磁盘需要 root 权限，请以 root 身份运行本软件（例如用 sudo）",
      u"导出文件成功！",
      u"目标文件夹 /media/user/一个很长很长的移动硬盘卷标/恢复出来的文件/2026年12月/照片和文档 位于正在恢复的磁盘上，"
      u"导出的文件可能覆盖要恢复的数据，确定继续吗？",
  };
  QWidget owner;
  QtMessageBoxes boxes(&owner);
  for (const std::u16string& text : texts) {
    for (bool question : {false, true}) {
      SCOPED_TRACE(question ? "question" : "information");
      auto ran = WhenModal<QMessageBox>([&](QMessageBox* box) {
        EXPECT_EQ(box->text(), Q(text));
        ExpectHoldsItsText(box);
        box->reject();
      });
      question ? static_cast<void>(boxes.AskYesNo(text)) : boxes.Information(text);
      ASSERT_TRUE(*ran);
    }
  }
}

TEST(MessageBoxes, EnterGivesTheQuestionsDefaultAnswer) {
  QWidget owner;
  QtMessageBoxes boxes(&owner);
  auto pressEnter = [] {
    return WhenModal<QMessageBox>([](QMessageBox* box) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QApplication::sendEvent(box, &press);
    });
  };
  auto ran = pressEnter();
  EXPECT_FALSE(boxes.AskYesNo(u"确定执行分区重建操作吗？"));
  EXPECT_TRUE(*ran);
  ran = pressEnter();
  EXPECT_TRUE(boxes.AskYesNoDefaultYes(u"上次扫描过此设备，是否复用上次扫描的数据?"));
  EXPECT_TRUE(*ran);
}

// A choice among buttons: Enter takes the recommended one, Escape (or the
// close box) cancels, a click takes its own.
TEST(MessageBoxes, AChoiceGivesTheButtonTakenAndCancelGivesNone) {
  QWidget owner;
  QtMessageBoxes boxes(&owner);
  const std::u16string question =
      u"这个磁盘可以写入 GPT 分区表，也可以写入 MBR 分区表（磁盘原来使用 GPT 分区表）。要写入哪一种？";
  const std::vector<std::u16string> options = {u"GPT", u"MBR"};
  auto press = [](Qt::Key key) {
    return WhenModal<QMessageBox>([key](QMessageBox* box) {
      QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(box, &event);
    });
  };
  auto ran = press(Qt::Key_Return);
  EXPECT_EQ(boxes.Choose(question, options, 1), 1);
  EXPECT_TRUE(*ran);
  ran = press(Qt::Key_Escape);
  EXPECT_EQ(boxes.Choose(question, options, 1), -1);
  EXPECT_TRUE(*ran);
  ran = WhenModal<QMessageBox>([&](QMessageBox* box) {
    ExpectHoldsItsText(box);
    Shoot(box, "21-table-question.png");
    for (QAbstractButton* button : box->buttons()) {
      if (button->text() == Q(options[1])) button->click();
    }
  });
  EXPECT_EQ(boxes.Choose(question, options, 0), 1);
  EXPECT_TRUE(*ran);
}

}  // namespace
}  // namespace kestrum::test
