#include "gui/kestrum_app.h"

#include <QStringList>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "gui/kestrum_dlg.h"
#include "gui/translations.h"
#include "platform/user_locale.h"

namespace kestrum {

CKestrumApp::CKestrumApp(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_ALL, "");
  setApplicationName(QStringLiteral("kestrum"));
  const Language language = ChosenLanguage(argc, argv, platform::UserLocaleName());
  UseLanguage(language);
  // What the program starts (the crash message, a restart) speaks the same.
  qputenv("KESTRUM_LANG", language == Language::kEnglish ? "en" : "zh");
}

int CKestrumApp::Run() {
  MainWindowOptions options;
  QStringList args = arguments();
  args.removeFirst();
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QStringLiteral("--images-only")) {
      options.systemDisks = false;
    } else if (arg == QStringLiteral("--lang") || arg.startsWith(QStringLiteral("--lang="))) {
      const QString value = arg == QStringLiteral("--lang") ? (i + 1 < args.size() ? args[++i] : QString())
                                                            : arg.mid(7);
      if (!ParseLanguage(value.toStdString())) {
        std::fprintf(stderr, "kestrum: %s\n", tr("--lang 只能是 zh 或 en").toLocal8Bit().constData());
        return 2;
      }
    } else if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
      std::fprintf(stdout, "%s", tr("用法：kestrum [--lang zh|en] [--images-only] [IMAGE...]\n"
                                    "  IMAGE          作为磁盘加入的磁盘或分区镜像文件\n"
                                    "  --images-only  只列出给出的镜像，不列出本机的磁盘\n"
                                    "  --lang zh|en   界面语言：中文或英文（默认按系统区域设置）\n")
                                     .toLocal8Bit()
                                     .constData());
      return 0;
    } else {
      options.images.push_back(arg.toStdU16String());
    }
  }
  CKestrumDlg window(options);
  window.exec();
  return 0;
}

}  // namespace kestrum
