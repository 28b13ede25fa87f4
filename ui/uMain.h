#pragma once

#include <QMainWindow>
#include <QString>

class TSkinData;
class TSkinMessageBox;

// The main window (search window). It is created first: it holds the skin
// holder every window draws from and the message box all windows use, and
// closing it ends the application.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // `appFolder`: the application folder, ending in "/".
    explicit TMainForm(const QString& appFolder, QWidget* parent = nullptr);
    ~TMainForm() override;

    QString AppFolder() const { return m_appFolder; }

    TSkinData* SkinData1;
    TSkinMessageBox* MsgDlg;

    QString base_url;
    QString app_version;
    QString app_build;
    QString skin_name;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();

    QString m_appFolder;
};
