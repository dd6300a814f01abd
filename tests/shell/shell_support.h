// What the window tests share: a private settings folder per window, a view into the
// window's state, and a driver for the modal boxes and dialogs the flows open.
#pragma once

#include "ruler/ruler.h"
#include "shell/mainwindow.h"

#include <QMessageBox>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrova::shell {

// The window's own variables, for the tests' eyes only.
class ShellTestAccess
{
public:
    static QPlainTextEdit* txtData(dorUrerUvuroze& w) { return w.txtData; }
    static QPushButton* cmdUpdate(dorUrerUvuroze& w) { return w.cmdUpdate; }
    static QPushButton* cmdRead(dorUrerUvuroze& w) { return w.cmdRead; }
    static QPushButton* cmdInyoAdd(dorUrerUvuroze& w) { return w.cmdInyoAdd; }
    static QPushButton* cmdInyoDel(dorUrerUvuroze& w) { return w.cmdInyoDel; }
    static QPushButton* cmdExit(dorUrerUvuroze& w) { return w.cmdExit; }
    static QPushButton* cmdHanToZen(dorUrerUvuroze& w) { return w.cmdHanToZen; }
    static QWidget* picPgpTray(dorUrerUvuroze& w) { return w.picPgpTray; }
    static QPushButton* cmdSetup(dorUrerUvuroze& w) { return w.cmdSetup; }
    static QPushButton* cmdPGPCheck(dorUrerUvuroze& w) { return w.cmdPGPCheck; }
    static QPushButton* cmdPGPSign(dorUrerUvuroze& w) { return w.cmdPGPSign; }
    static QPushButton* cmdPGPCript(dorUrerUvuroze& w) { return w.cmdPGPCript; }
    static QPushButton* cmdPGPPubKey(dorUrerUvuroze& w) { return w.cmdPGPPubKey; }
    static QPushButton* cmdPGPFingerPrint(dorUrerUvuroze& w) { return w.cmdPGPFingerPrint; }
    static QPushButton* cmdPGPKeyAdd(dorUrerUvuroze& w) { return w.cmdPGPKeyAdd; }
    static int UndoCmd(const dorUrerUvuroze& w) { return static_cast<int>(w.m_undo.UndoCmd()); }
    static bool PluginMode(const dorUrerUvuroze& w) { return w.m_document.PluginMode; }
    static bool Modified(const dorUrerUvuroze& w) { return w.m_document.Modified; }
    static QString PluginFile(const dorUrerUvuroze& w) { return w.m_document.PluginFile; }
    static QString CurrentFile(const dorUrerUvuroze& w) { return w.m_document.CurrentFile; }
    static QString IniFile(const dorUrerUvuroze& w) { return w.IniFile; }
    static QString HelpFile(const dorUrerUvuroze& w) { return w.HelpFile; }
    static settings::Settings& record(dorUrerUvuroze& w) { return w.m_settings; }
    static platform::clsComDlg& ComDlg(dorUrerUvuroze& w) { return w.ComDlg; }
    static bool FileRead(dorUrerUvuroze& w, const QString& name) { return w.FileRead(name); }
    static void openNamedFile(dorUrerUvuroze& w, const QString& name) { w.openNamedFile(name); }
    static engine::ReflowSettings reflowSettings(const dorUrerUvuroze& w)
    {
        return w.reflowSettings();
    }

    // The layout and the ruler.
    static ruler::ColumnRuler* picGage(dorUrerUvuroze& w) { return w.picGage; }
    static QWidget* picGageScrl(dorUrerUvuroze& w) { return w.picGage->scrollingStrip(); }
    static QPushButton* cmdGage(dorUrerUvuroze& w) { return w.picGage->handle(); }
    static QLabel* lblGage(dorUrerUvuroze& w) { return w.picGage->scale(); }
    static QFrame* picCmdTray(dorUrerUvuroze& w) { return w.picCmdTray; }
    static platform::TwipRect picGageRect(const dorUrerUvuroze& w) { return w.picGage->twipRect(); }
    static platform::TwipRect picGageScrlRect(const dorUrerUvuroze& w)
    {
        return w.picGage->scrollingRect();
    }
    static platform::TwipRect cmdGageRect(const dorUrerUvuroze& w)
    {
        return w.picGage->handleRect();
    }
    static platform::TwipRect txtDataRect(const dorUrerUvuroze& w) { return w.m_txtDataRect; }
    static platform::TwipRect picCmdTrayRect(const dorUrerUvuroze& w) { return w.m_picCmdTrayRect; }
    static platform::TwipRect picPgpTrayRect(const dorUrerUvuroze& w) { return w.m_picPgpTrayRect; }
    static QFont windowFont(const dorUrerUvuroze& w) { return w.picGage->scaleFont(); }
    static bool GageDragging(const dorUrerUvuroze& w) { return w.picGage->dragging(); }
    static void Form_Resize(dorUrerUvuroze& w) { w.Form_Resize(); }
};

} // namespace kestrova::shell

namespace kestrova::test {

// One window's world: its own settings folder (XDG_CONFIG_HOME), program folder and socket.
class Sandbox
{
public:
    Sandbox();
    ~Sandbox();

    QString configDir() const;               // …/kestrova, where Kestrova.ini goes
    QString iniPath() const;                 // …/kestrova/Kestrova.ini
    QString programDir() const;              // empty folder standing in for the program's
    QString path(const QString& name) const; // a file in the sandbox's scratch folder
    QString instanceName() const;            // a socket path of its own

    shell::StartOptions options(const QString& arguments) const;

    // Writes bytes to a file, making folders.
    static void writeFile(const QString& path, const QByteArray& bytes);
    static QByteArray readFile(const QString& path);

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfigHome;
    bool m_hadConfigHome = false;
};

// What a modal box said.
struct SeenBox
{
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Answers every modal window that opens while it lives: message boxes with the next queued
// answer (OK, or Cancel, when none is queued), file dialogs with the next queued file action
// (reject when none is queued). Records what it saw.
class ModalDriver : public QObject
{
public:
    using FileAction = std::function<void(class QFileDialog*)>;

    ModalDriver();
    ~ModalDriver() override;

    void answerNext(QMessageBox::StandardButton button) { m_answers.push_back(button); }
    void onNextFileDialog(FileAction action) { m_fileActions.push_back(std::move(action)); }

    const std::vector<SeenBox>& boxes() const { return m_boxes; }
    int fileDialogs() const { return m_fileDialogCount; }

private:
    void poll();

    QTimer m_timer;
    std::vector<QMessageBox::StandardButton> m_answers;
    std::vector<FileAction> m_fileActions;
    std::vector<SeenBox> m_boxes;
    int m_fileDialogCount = 0;
};

// The window through start-up, not yet shown.
std::unique_ptr<shell::dorUrerUvuroze> startWindow(const Sandbox& sandbox,
                                                   const QString& arguments = {});

QString clipboard();
void setClipboard(const QString& text);

// Text with CR LF line ends, as the engine and boxText() have it.
std::u16string crlf(const QString& text);

} // namespace kestrova::test
