#pragma once

// The preferences sheet: three check boxes over the shared defaults suite
// ("waitForPowerToBackup", "protectRoot", "showAnimation"), opened as a
// window-modal sheet on the main window.
//
// What callers may rely on: opening normalises the three keys (absent
// "waitForPowerToBackup" reads false, absent "protectRoot" and
// "showAnimation" read true), writes them back and saves the suite, so after
// the first opening all three are present; closing with the sheet's button
// writes each key as true exactly when its box is ticked. Without a window
// the keys are still normalised and nothing is shown.

#include <QDialog>

class QCheckBox;

class PreferencesSheet final : public QDialog
{
    Q_OBJECT
public:
    explicit PreferencesSheet(QWidget *window);

    // Fills and opens the sheet.
    void preferencesSelected();
    // The sheet's closing button.
    void dismissPreferencesSheet();
    // End handler of the sheet: nothing to do.
    void preferencesPanelDidEnd(int returnCode);

    QCheckBox *waitForPowerToBackup() const { return m_waitForPowerToBackup; }
    QCheckBox *protectRoot() const { return m_protectRoot; }
    QCheckBox *showAnimation() const { return m_showAnimation; }
    QCheckBox *fastSnapshots() const { return m_fastSnapshots; }

    // Normalises the three keys in the suite and answers their values.
    struct Values
    {
        bool waitForPowerToBackup;
        bool protectRoot;
        bool showAnimation;
    };
    static Values normaliseDefaults();

private:
    QCheckBox *m_waitForPowerToBackup;
    QCheckBox *m_protectRoot;
    QCheckBox *m_showAnimation;
    QCheckBox *m_fastSnapshots;
};
