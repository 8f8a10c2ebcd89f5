#pragma once

// The controller's view for a terminal. On a terminal the status line and the
// transfer line (files/s, data/s) are redrawn in place on one line of
// standard output; otherwise every status text is printed on its own line,
// followed by the transfer line when one is showing, so a log gets one line
// per tick with the count and both rates. The run's last status and its
// completion text ("Backup Complete." or what went wrong) are printed before
// the view is closed, as long as the caller closes it only after the
// queued texts have been delivered. Alerts and notifications go to standard
// error with their texts. The folder choosers answer the paths given on the
// command line.

#include "WindowlessView.h"

#include <QString>
#include <QStringList>

#include <functional>

#include <cstdio>

class TerminalView : public WindowlessView
{
public:
    TerminalView(std::FILE *out, std::FILE *err, bool interactive);

    void setModeRow(int row) { modeRow = row; }
    void setChooserAnswers(const QStringList &answers) { chooserAnswers = answers; }
    // Ends the in-place line so the next output starts on a fresh one.
    void finishLine();
    // After the run: later status texts are not printed.
    void close()
    {
        finishLine();
        m_closed = true;
    }
    // Before the next run of the same process (run-due).
    void reopen() { m_closed = false; }
    // Called when the controller asks the application to quit.
    std::function<void()> onTerminate;

    void setArgumentRows(const QList<Argument> &rows) override;
    void showAlert(const QString &message, const QString &informativeText) override;
    void deliverUserNotification(const QString &title, const QString &text) override;
    // The terminal does not ask: it names the prune command that frees the room.
    void offerToMakeRoom(const RoomOffer &offer, std::function<void()> accepted) override;
    void terminateApplication() override
    {
        if (onTerminate)
            onTerminate();
    }

    QString lastStatus() const { return m_status; }
    bool verbose = false;

protected:
    void jobStateWritten(const QString &text) override { textChanged(true, text); }
    void displayTextWritten(const QString &text) override { textChanged(false, text); }

private:
    void textChanged(bool isStatus, const QString &text);
    void redraw();
    void printLine();

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_interactive;
    QString m_status;
    QString m_rates;
    bool m_lineOpen = false;
    bool m_closed = false;
};
