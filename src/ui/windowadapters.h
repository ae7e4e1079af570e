#pragma once
// What the controllers see of the main window: the message form (target,
// send box, signature, list, the messenger button) and the scan view (status
// line, progress bar, list, scan buttons). Both share one wait cursor.

#include "discovery/scanview.h"
#include "messaging/messageform.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;

namespace zeph::ui {

class Arrivals;
class DefinedWindow;
class FlatLabel;

// The hourglass: remembers the cursor it replaced until restored, however
// often it is switched on.
class WaitCursor {
public:
    WaitCursor() = default;
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor();
    void on();
    void restore();

private:
    bool m_remembered = false;
};

class WindowForm : public MessageForm {
public:
    WindowForm(DefinedWindow& window, Arrivals& arrivals, WaitCursor& cursor);

    QByteArray target() const override;
    void setTarget(const QByteArray& text) override;
    QByteArray content() const override;
    void setContent(const QByteArray& text) override;
    QByteArray signature() const override;
    QList<Listed> computers() const override;
    std::optional<Ipv4Address> chosenAddress() const override;
    QList<char32_t> uncarried() const override;
    // The window's accessible description tells who wrote; Arrivals shows it.
    void showArrival(const QByteArray& sender, const QByteArray& firstLine) override;
    void setMessengerButtonEnabled(bool enabled) override;
    void waitCursorOn() override;
    void restoreCursor() override;

private:
    DefinedWindow& m_window;
    Arrivals& m_arrivals;
    WaitCursor& m_cursor;
    QLineEdit* m_target;
    QPlainTextEdit* m_sendBox;
    QLineEdit* m_signature;
    QListWidget* m_list;
    std::optional<Listed> m_chosen; // the row last taken into the target box
};

class WindowScanView : public ScanView {
public:
    WindowScanView(DefinedWindow& window, WaitCursor& cursor);

    void setStatus(const QByteArray& text) override;
    void waitCursorOn() override;
    void restoreCursor() override;
    void setProgressVisible(bool visible) override;
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override;
    void clearComputers() override;
    // A name that two rows share is shown with each row's address.
    void addComputer(const QByteArray& name, Ipv4Address address) override;
    void setScanButtons(bool scanning) override;

private:
    DefinedWindow& m_window;
    WaitCursor& m_cursor;
    FlatLabel* m_status;
    QProgressBar* m_progress;
    QListWidget* m_list;
};

} // namespace zeph::ui
