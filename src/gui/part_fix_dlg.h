#pragma once
// The partition repair page. The lost-partition scan that fills it is not
// part of this version, so the page only leads back.

#include <QWidget>

#include "gui/page_host.h"

namespace kestrum {

class CPartFixDlg : public QWidget {
  Q_OBJECT

 public:
  CPartFixDlg(PageHost& host, QWidget* parent);
};

}  // namespace kestrum
