#include "ErrorDisplay.h"

#include "LocalText.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QShortcut>

#include <algorithm>

namespace vesperkeep {

TQtMessageBoxes::~TQtMessageBoxes() {
    for (const QPointer<QMessageBox>& box : Open)
        delete box.data();
}

void TQtMessageBoxes::Show(TMessageKind kind, const QString& caption, const QString& text) {
    // No parent: a box must stay when the main window hides into the notification area.
    auto* box =
        new QMessageBox(kind == TMessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                        caption, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    // Ctrl+C copies the box as a Windows message box does on every system: caption, text and
    // button between rules, so the operator can paste an error into a report.
    auto* copy = new QShortcut(QKeySequence::Copy, box);
    QObject::connect(copy, &QShortcut::activated, box, [box] {
        const QString rule = QStringLiteral("---------------------------\n");
        QGuiApplication::clipboard()->setText(rule + box->windowTitle() + '\n' + rule +
                                              box->text() + '\n' + rule + QStringLiteral("OK\n") +
                                              rule);
    });
    Open.erase(std::remove_if(Open.begin(), Open.end(),
                              [](const QPointer<QMessageBox>& open) { return open.isNull(); }),
               Open.end());
    Open.emplace_back(box);
    box->show();
}

std::string ErrorText(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

TErrorDisplay::TErrorDisplay(TMessageBoxes& boxes) : Boxes(boxes) {}

void TErrorDisplay::ShowError(std::string_view message) {
    Post(TMessageKind::Error, ErrorText(message));
}

void TErrorDisplay::ShowPlainMessage(std::string_view text) {
    Post(TMessageKind::Plain, text);
}

void TErrorDisplay::Post(TMessageKind kind, std::string_view text) {
    QMetaObject::invokeMethod(
        &Pending,
        [this, kind, shown = DecodeLocalText(text)] {
            Boxes.Show(kind, QCoreApplication::applicationName(), shown);
        },
        Qt::QueuedConnection);
}

} // namespace vesperkeep
