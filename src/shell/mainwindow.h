// The main window, dorUrerUvuroze: the text box, the ruler, the command strips, start-up,
// the undoable commands, the clipboard and file exchange, keys and drop, exit.
#pragma once

#include "engine/reflow.h"
#include "io/files.h"
#include "platform/comdlg.h"
#include "platform/twips.h"
#include "settings/settingsfile.h"

#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QFrame;
class QLabel;
class QMimeData;
class QPlainTextEdit;
class QPushButton;

namespace kestrova::shell {

class SingleInstance;

// What start-up needs from outside the window.
struct StartOptions
{
    QString arguments;    // the argument text: what follows the program name
    QString programDir;   // the program's folder
    QString docDir;       // the installed documentation folder, where the help file may be
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

    // Puts the normal caption back on the button that holds the undo slot; UndoCmd stays.
    void CmdPrint();

    // The settings file into the settings record and the window geometry, and back.
    void GetPara(const QString& path);
    [[nodiscard]] bool PutPara(const QString& path);

    // Asks for a file and reads it into the text box, then onto the clipboard.
    void LoadText(const std::u16string& text);
    // Asks for a file name and writes text to it.
    void SaveText(const std::u16string& text);

    // The clipboard text, under the reading rules, into the text box.
    void TextRead();
    // The text box contents onto the clipboard; TextWrite2 with mode 1 as JIS.
    void TextWrite();
    void TextWrite2(int& mode);

    void FontSet();
    void PGP_View();
    void GageInit();
    void GageResize();
    void GageScrl();
    // The column whose scale character lies under x, twips from the scale's left edge: the
    // first whose prefix is wider than x; 1001 past the scale's end, 1 left of it.
    [[nodiscard]] int LeftToColumns(int x);

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
    void bringToFront();

private:
    friend class ShellTestAccess;

    using TextWork = std::function<std::u16string(std::u16string_view)>;

    void createControls();
    void applyTabOrder();
    void commandLine();
    [[nodiscard]] bool FileRead(const QString& name);
    void runUndoable(int k, QPushButton* button, const TextWork& work);
    void setBoxText(std::u16string_view text);
    [[nodiscard]] std::u16string selectedText() const;
    [[nodiscard]] engine::ReflowSettings reflowSettings() const;
    void txtData_KeyPress(int& KeyAscii);
    void txtData_OLEDragDrop(const QMimeData* dropped);
    void Form_QueryUnload(bool& cancel, int mode);
    void Form_Unload(bool& cancel);
    [[nodiscard]] bool writeBack(const QString& path);
    // In plug-in mode with unsaved changes, asks whether to save; false: the window stays.
    [[nodiscard]] bool mayLeavePluginFile();
    [[nodiscard]] io::TextFormat formatFor(const QString& path) const;
    [[nodiscard]] bool mayReplaceCutFile(const QString& path);
    void setTwips(QWidget* widget, platform::TwipRect& stored, const platform::TwipRect& rect);
    [[nodiscard]] int textWidthTwips(const QString& text) const;
    // The ruler's mouse and key events; true when the event was taken.
    [[nodiscard]] bool rulerEvent(QObject* watched, QEvent* event);
    // button: the buttons the event is about (1 left, 2 right, 4 middle); x: twips from the
    // control's left edge. They act only on the left button alone.
    void cmdGage_MouseDown(int button, double x);
    void cmdGage_MouseMove(int button, double x);
    void cmdGage_MouseUp(int button, double x);
    void lblGage_MouseDown(int button, double x);
    void lblGage_DblClick();
    void placeGageScrl();
    [[nodiscard]] int textOriginPixels() const;
    void keepOldSettingsFile();
    void applyGeometry(const settings::WindowGeometry& geometry);
    [[nodiscard]] settings::WindowGeometry currentGeometry() const;

    StartOptions m_options;

    // The controls, by the names the rest of the program uses for them.
    QFrame* picGage = nullptr;
    QWidget* picGageScrl = nullptr;
    QPushButton* cmdGage = nullptr;
    QLabel* lblGage = nullptr;
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
    platform::TwipRect m_picGageRect;
    platform::TwipRect m_picGageScrlRect;
    platform::TwipRect m_cmdGageRect;
    platform::TwipRect m_txtDataRect;
    platform::TwipRect m_picCmdTrayRect;
    platform::TwipRect m_picPgpTrayRect;

    // The window's variables.
    std::u16string UndoText;
    int UndoCmd = 0;
    QString IniFile;

    // The run's mode and files.
    int PluginMode = 0;
    QString PluginFile;
    int Modified = 0;
    QString CurrentFile;
    platform::clsComDlg ComDlg;
    QString HelpFile;

    settings::Settings m_settings;
    engine::ReflowState m_reflowState;

    // How the last file was read, so that writing it back keeps its code and line ends.
    QString m_readFrom;
    io::TextFormat m_readFormat;
    // A file of which only the first part could be shown.
    QString m_cutFile;

    // A settings file that was there but not read whole is kept beside the new one.
    bool m_keepOldSettings = false;
    bool m_hooked = false;
    int m_loadedState = 0; // the window state GetPara found: 0 normal, 1 minimised, 2 maximised
    QFont m_windowFont;    // the window's own font, in which the ruler measures

    // The ruler's drag state.
    bool GageDragging = false;
    int GageGrabX = 0;  // twips from the handle's left edge
    int GageClickX = 0; // twips from the scale label's left edge
    // Widths in twips of the scale's first 1, 2, … characters in m_gageWidthsFont, each the
    // widest of the prefixes up to it, so that a binary search finds the first prefix wider
    // than a position even if a font's advances were not all positive.
    std::vector<int> m_gageWidths;
    QString m_gageWidthsFont;
    bool m_unloaded = false;

    QPointer<SingleInstance> m_instance;
};

} // namespace kestrova::shell
