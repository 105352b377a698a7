#include "panel/qt_toolkit.h"

#include <QApplication>
#include <QMessageBox>

namespace kv306 {

void QtToolkit::MsgBox(const QString &text, int code, const std::optional<QString> &title)
{
    // Before the window shows (start-up), a box stands alone in the middle of the screen.
    // An empty title would be replaced by the application's name on X11; a blank one stays blank.
    QString shown = title ? *title : QCoreApplication::applicationName();
    if (shown.isEmpty())
        shown = QStringLiteral(" ");
    QMessageBox box(code == kMsgCritical ? QMessageBox::Critical : QMessageBox::NoIcon, shown, text,
                    QMessageBox::Ok, owner_ && owner_->isVisible() ? owner_ : nullptr);
    box.exec();
}

}  // namespace kv306
