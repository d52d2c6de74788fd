#pragma once

#include <QDialog>

class QSystemTrayIcon;
class TSettingsKeeper;

// The base of every window: applies the chosen style, remembers its bounds in the
// settings file, frees itself when closed, and hides into the tray when minimised
// where a tray exists. Each window passes its class name, the key of its settings
// entry, because the destructor that writes the entry cannot ask a virtual for it.
class Tzxforms : public QDialog
{
    Q_OBJECT

public:
    Tzxforms(const QString &settingId, QWidget *parent = nullptr);
    ~Tzxforms() override;

    QString GetSeettingID() const { return m_settingId; }
    void LoadSettings();
    void SaveSettings();
    virtual void ReadSettings(const TSettingsKeeper &keeper);
    virtual void WriteSettings(TSettingsKeeper &keeper) const;

    // The window as the designer laid it out: client size, centred on the screen.
    void SetDesignedSize(int width, int height);

    // A modal window is freed once the modal call has returned, so the caller can
    // still read its controls.
    int exec() override;

    QSystemTrayIcon *trayIcon() const { return m_tiApp; }
    void ApplicationEventsMinimize();
    void tiAppDblClick();

protected:
    // The base creation step; windows whose creation replaces it do not call it.
    void FormCreate();
    // The show step, run every time the window becomes visible.
    virtual void FormShow();

    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QString m_settingId;
    QSystemTrayIcon *m_tiApp = nullptr;
    bool m_hiddenInTray = false;
};
