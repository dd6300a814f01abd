// The main window, dorUrerUvuroze: the text box, the ruler, the command strips, start-up,
// the undoable commands, the clipboard and file exchange, keys and drop, exit.
#pragma once

#include "engine/reflow.h"
#include "platform/comdlg.h"
#include "platform/twips.h"
#include "settings/settingsfile.h"
#include "shell/document.h"
#include "shell/settingsstore.h"
#include "shell/textfiles.h"
#include "shell/undoslot.h"

#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <string_view>

class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace kestrova::ruler {
class ColumnRuler;
}

namespace kestrova::pgpui {
class PgpRunner;
}

namespace kestrova::shell {

class PgpRunState;
class SingleInstance;
struct CommandLine;

// What start-up needs from outside the window.
struct StartOptions
{
    QString arguments;    // the argument text: what follows the program name
    QString programDir;   // the program's folder
    QString dataDir;      // the installed data folder, where the help file may be
    QString instanceName; // the single-instance socket; empty: no check
};

enum class StartResult
{
    Run,               // this copy shows its window
    RaisedRunningCopy, // another copy came forward; this one ends without showing anything
};

class dorUrerUvuroze : public QWidget
{
    Q_OBJECT

public:
    explicit dorUrerUvuroze(StartOptions options, QWidget* parent = nullptr);
    ~dorUrerUvuroze() override;

    // Start-up, before the window is first shown: single instance, help file, ComDlg, ruler,
    // UserList, UndoCmd, IniFile, hook, GetPara, FontSet, PGP_View, then the command line.
    [[nodiscard]] StartResult Form_Load();

    // Shows the window normal, minimised or maximised, as the settings file left it.
    void showAsLoaded();

    // The settings file into the settings record and the window geometry, and back.
    void GetPara(const QString& path);
    [[nodiscard]] bool PutPara(const QString& path);

    // Asks for a file and reads it into the text box, then onto the clipboard.
    void LoadText();
    // Asks for a file name and writes text to it.
    void SaveText(const std::u16string& text);

    // The clipboard text, under the reading rules, into the text box.
    void TextRead();
    // The text box contents onto the clipboard; TextWrite2 with mode 1 as JIS.
    void TextWrite();
    void TextWrite2(int mode);

    void FontSet();
    void PGP_View();

    // The text box contents with CR LF line ends, every character as it is.
    [[nodiscard]] std::u16string boxText() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cmdUpdate_Click();
    void cmdRead_Click();
    void cmdInyoAdd_Click();
    void cmdInyoDel_Click();
    void cmdHanToZen_Click();
    void cmdSetup_Click();
    void cmdExit_Click();
    void cmdPGPCheck_Click();
    void cmdPGPSign_Click();
    void cmdPGPCript_Click();
    void cmdPGPPubKey_Click();
    void cmdPGPFingerPrint_Click();
    void cmdPGPKeyAdd_Click();
    void txtData_Change();
    void Form_Resize();
    void helpRequested();
    void bringToFront(const QString& activationToken = {});
    void columnsChosen(int columns);
    void txtData_OLEDragDrop(const QString& file);
    // A file named on a command line, read as the command line reads it.
    void openNamedFile(const QString& name);

private:
    friend class ShellTestAccess;

    using TextWork = std::function<std::u16string(std::u16string_view)>;

    // The window and its controls.
    void createControls();
    void applyTabOrder();
    void setTwips(QWidget* widget, platform::TwipRect& stored, const platform::TwipRect& rect);

    // Start-up.
    // What the command line asks for at the start, parsed once by Form_Load.
    void commandLine(const CommandLine& line);
    // Plug-in mode on the file name, which need not exist yet.
    void startPluginMode(const QString& name);

    // The text commands and their undo.
    // Runs an undoable command, or undoes it when its button offers undo.
    void runUndoable(UndoCommand k, const TextWork& work);
    // The result of a command begun with m_undo.begin(): the text box takes it and the
    // command's button offers undo.
    void finishUndoable(const UndoSlot::Pending& pending, std::u16string_view after);
    // After a command changed the text: a plug-in file is marked changed, else the clipboard
    // gets the text.
    void afterEdit();
    [[nodiscard]] engine::ReflowSettings reflowSettings() const;
    // A PGP button: runs word through the undo slot, or undoes it when the button offers undo.
    void runPgpUndoable(UndoCommand k, std::string_view word);

    void txtData_KeyPress(int& KeyAscii);

    // Files.
    [[nodiscard]] bool FileRead(const QString& name);
    // FileRead with failedNote added to the message when the file cannot be read.
    [[nodiscard]] bool readFile(const QString& name, const QString& failedNote);
    // Writes the text box to path; a failure is reported, ending with failedNote.
    [[nodiscard]] bool writeText(const QString& path, std::u16string_view text,
                                 const QString& failedNote);
    [[nodiscard]] bool mayReplaceCutFile(const QString& path);

    // The clipboard and the text box.
    // The window became active: the start-up read of the clipboard, where it waited for that.
    void windowActivated();
    // The user changed the text or read one: the clipboard takes results again.
    void userActed();
    void setBoxText(std::u16string_view text);
    [[nodiscard]] std::u16string selectedText() const;

    // Exit.
    // In plug-in mode with unsaved changes, asks whether to save; false: the window stays.
    [[nodiscard]] bool mayLeavePluginFile();
    // Saves the settings as the window closes; a file that cannot be written is reported and
    // does not keep the window open.
    void Form_QueryUnload();
    void Form_Unload();

    StartOptions m_options;

    // The controls, by the names the rest of the program uses for them.
    ruler::ColumnRuler* picGage = nullptr;
    QPlainTextEdit* txtData = nullptr;
    QFrame* picCmdTray = nullptr;
    QPushButton* cmdRead = nullptr;
    QPushButton* cmdInyoDel = nullptr;
    QPushButton* cmdInyoAdd = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdSetup = nullptr;
    QFrame* picPgpTray = nullptr;
    QPushButton* cmdHanToZen = nullptr;
    QPushButton* cmdPGPCheck = nullptr;
    QPushButton* cmdPGPSign = nullptr;
    QPushButton* cmdPGPCript = nullptr;
    QPushButton* cmdPGPPubKey = nullptr;
    QPushButton* cmdPGPFingerPrint = nullptr;
    QPushButton* cmdPGPKeyAdd = nullptr;

    // Where the moving controls stand, in twips.
    platform::TwipRect m_txtDataRect;
    platform::TwipRect m_picCmdTrayRect;
    platform::TwipRect m_picPgpTrayRect;

    // The window's variables.
    UndoSlot m_undo; // UndoCmd and UndoText
    QString IniFile;

    // The run's mode and files.
    Document m_document;
    platform::clsComDlg ComDlg;
    QString HelpFile;
    TextFiles m_files;
    // The clipboard is left alone while the text box holds nothing of it because it could not
    // be read, or not yet (on Wayland only once the window is active), until the user acts.
    bool m_clipboardUnread = false;
    bool m_readAtFocus = false;
    bool m_settingBox = false;    // the program, not the user, is changing the text box
    std::u16string m_commentChar; // git's, in plug-in mode on a file git handed over

    settings::Settings m_settings;
    engine::ReflowState m_reflowState;

    SettingsStore m_store;
    int m_loadedState = 0; // the window state GetPara found: 0 normal, 1 minimised, 2 maximised
    bool m_unloaded = false;

    QPointer<SingleInstance> m_instance;

    pgpui::PgpRunner* m_pgp = nullptr; // a child of the window
    PgpRunState* m_pgpRun = nullptr;   // a child of the window
};

} // namespace kestrova::shell
