#include "TerminalView.h"

#include "ThinningRoomOffer.h"

TerminalView::TerminalView(std::FILE *out, std::FILE *err, bool interactive)
    : m_out(out)
    , m_err(err)
    , m_interactive(interactive)
{}

void TerminalView::finishLine()
{
    if (m_lineOpen) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
        m_lineOpen = false;
    }
}

void TerminalView::setArgumentRows(const QList<Argument> &rows)
{
    if (!verbose || rows.isEmpty())
        return;
    finishLine();
    QStringList values;
    for (const Argument &row : rows)
        values << row.value();
    std::fprintf(m_err, "rsync arguments: %s\n", qPrintable(values.join(QStringLiteral(" | "))));
}

void TerminalView::showAlert(const QString &message, const QString &informativeText)
{
    finishLine();
    std::fprintf(m_err, "%s: %s\n", qPrintable(message), qPrintable(informativeText));
    std::fflush(m_err);
}

void TerminalView::offerToMakeRoom(const RoomOffer &offer, std::function<void()>)
{
    finishLine();
    std::fprintf(m_err,
                 "%s\nThe job's rule \"Thin out\" gives up %lld old snapshot(s); to remove them now, run:\n  %s\n",
                 qPrintable(offer.refusal), qlonglong(offer.folders.size()), qPrintable(offer.pruneCommand()));
    for (const QString &folder : offer.folders)
        std::fprintf(m_err, "  would remove: %s\n", qPrintable(folder));
    std::fflush(m_err);
}

void TerminalView::deliverUserNotification(const QString &title, const QString &text)
{
    finishLine();
    std::fprintf(m_err, "%s: %s\n", qPrintable(title), qPrintable(QString(text).replace(u'\n', u' ')));
    std::fflush(m_err);
}

void TerminalView::textChanged(bool isStatus, const QString &text)
{
    if (m_closed)
        return;
    QString &slot = isStatus ? m_status : m_rates;
    const bool changed = slot != text;
    slot = text;
    if (m_interactive) {
        if (changed)
            redraw();
        return;
    }
    // Each tick writes the rates first and its status after them: the
    // status closes the tick's line.
    if (isStatus && !text.trimmed().isEmpty())
        printLine();
}

void TerminalView::printLine()
{
    QString line = m_status.simplified();
    if (!m_rates.trimmed().isEmpty())
        line += QStringLiteral("  |  ") + m_rates.simplified();
    std::fprintf(m_out, "%s\n", qPrintable(line));
    std::fflush(m_out);
}

void TerminalView::redraw()
{
    QString line = m_status.simplified();
    if (!m_rates.trimmed().isEmpty())
        line += QStringLiteral("  |  ") + m_rates.simplified();
    // "\r" and "erase to end of line": the status is rewritten in place.
    std::fprintf(m_out, "\r\033[K%s", qPrintable(line));
    std::fflush(m_out);
    m_lineOpen = true;
}
