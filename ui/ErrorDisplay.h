#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <exception>
#include <string>
#include <string_view>
#include <vector>

class QMessageBox;

namespace vesperkeep {

enum class TMessageKind {
    Error, // error icon, OK
    Plain  // no icon, OK
};

// Puts a message box on screen. The program shows Qt's boxes; tests record what would be shown.
class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;
    virtual void Show(TMessageKind kind, const QString& caption, const QString& text) = 0;
};

// Qt's message boxes. Each box stands on its own and does not block: the program goes on behind
// it, further boxes can come while it is open, and hiding the main window leaves it on screen.
class TQtMessageBoxes final : public TMessageBoxes {
public:
    TQtMessageBoxes() = default;
    ~TQtMessageBoxes() override; // closes the boxes still open
    TQtMessageBoxes(const TQtMessageBoxes&) = delete;
    TQtMessageBoxes& operator=(const TQtMessageBoxes&) = delete;

    void Show(TMessageKind kind, const QString& caption, const QString& text) override;

private:
    std::vector<QPointer<QMessageBox>> Open;
};

// The text of an error as shown: a full stop is appended when the last character sorts after the
// full stop (letters, digits and every non-ASCII byte do).
std::string ErrorText(std::string_view message);

// The one place that shows errors leaving a handler, and the plain messages. A box is put on
// screen only after the running handler has returned: Qt does not fire a timer again while its
// own timeout slot runs, so a box opened inside the slot would hold that timer up.
class TErrorDisplay {
public:
    explicit TErrorDisplay(TMessageBoxes& boxes);

    // The default error display, the application title as caption.
    void ShowError(std::string_view message);
    void ShowPlainMessage(std::string_view text);

    // Runs a handler; an error that leaves it is shown and goes no further.
    template <class THandler> void Run(THandler&& handler) noexcept {
        try {
            handler();
        } catch (const std::exception& error) {
            ShowError(error.what());
        } catch (...) {
            ShowError("Unknown error");
        }
    }

private:
    void Post(TMessageKind kind, std::string_view text);

    TMessageBoxes& Boxes;
    QObject Pending; // owns the queued boxes: those not yet shown go with the display
};

} // namespace vesperkeep
