#include "shell/mainwindow.h"

#include "engine/hantozen.h"
#include "engine/quote.h"
#include "io/paths.h"
#include "io/textcodec.h"
#include "io/wholefile.h"
#include "pgpui/pgpcommand.h"
#include "platform/busypointer.h"
#include "platform/clipboard.h"
#include "platform/fonts.h"
#include "platform/messages.h"
#include "platform/qtext.h"
#include "ruler/ruler.h"
#include "setup/setupdialog.h"
#include "shell/commandline.h"
#include "shell/filedrop.h"
#include "shell/gitfiles.h"
#include "shell/help.h"
#include "shell/placement.h"
#include "shell/settingsstore.h"
#include "shell/singleinstance.h"
#include "shell/windowaccessible.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTextDocument>
#include <QTimer>

namespace kestrova::shell {

namespace {

using platform::fromFsPath;
using platform::toFsPath;
using platform::toQString;
using platform::toU16;
using platform::TwipRect;

const QString kTitle = QStringLiteral("Kestrova");
const QString kPluginCaption = QStringLiteral("  - Plugin Mode");
const QString kUnreadCaption = QStringLiteral("  - クリップボードを読めませんでした");
const QString kFileFilter = QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)|*.txt|全てのﾌｧｲﾙ(*.*)|*.*");

} // namespace

dorUrerUvuroze::dorUrerUvuroze(StartOptions options, QWidget* parent)
    : QWidget(parent)
    , m_options(std::move(options))
{
    registerMainWindowAccessibility();
    setWindowTitle(kTitle);
    createControls();
    applyTabOrder();
    m_pgp = new pgpui::PgpRunner(this, m_settings.UserList);
    connect(m_pgp, &pgpui::PgpRunner::runningChanged, this, &dorUrerUvuroze::pgpRunning);
}

dorUrerUvuroze::~dorUrerUvuroze() = default;

StartResult dorUrerUvuroze::Form_Load()
{
    // A second copy hands over to the first and touches nothing, settings included. Not in
    // plug-in mode: the program that handed over the file waits for this copy to end, and
    // would take a copy that ends at once for an edit that is done.
    const CommandLine line = parseCommandLine(toU16(m_options.arguments));
    if (!m_options.instanceName.isEmpty() && !line.pluginMode) {
        auto* instance = new SingleInstance(m_options.instanceName, this);
        // The running copy opens this copy's file as if it had been named on its own command
        // line; it may run in another folder, so it gets the name made absolute here.
        const QString file =
            line.file.empty() ? QString() : QFileInfo(toQString(line.file)).absoluteFilePath();
        if (instance->raiseRunningCopyOrListen(file))
            return StartResult::RaisedRunningCopy;
        m_instance = instance;
        connect(instance, &SingleInstance::raiseRequested, this, &dorUrerUvuroze::bringToFront);
        connect(instance, &SingleInstance::openRequested, this, &dorUrerUvuroze::openNamedFile);
    }

    HelpFile = findHelpFile({m_options.programDir, m_options.dataDir});
    ComDlg.Filter = kFileFilter;
    picGage->GageInit();
    m_settings.UserList.fill(std::u16string());
    m_undo.clear();
    IniFile = fromFsPath(settings::settingsFilePath(toFsPath(m_options.programDir)));

    // The text box hook: the ruler follows every repaint and horizontal scroll of the box.
    picGage->hook();

    GetPara(IniFile);
    FontSet();
    // Once the window shows: a face that puts the ruler off the text's columns is named.
    QTimer::singleShot(0, this, [this] { platform::warnWhenColumnsDrift(this, txtData->font()); });
    PGP_View();
    pgp::wipeLeftoverWorkFiles(); // a window that died during a PGP run left them behind

    PluginMode = false;
    commandLine(line);
    txtData->setFocus();
    return StartResult::Run;
}

void dorUrerUvuroze::commandLine(const CommandLine& line)
{
    if (m_options.arguments.isEmpty()) {
        // Until the window is active the clipboard reads as empty here, whatever it holds.
        if (platform::clipboardNeedsFocus()) {
            m_readAtFocus = true;
            m_clipboardUnread = true;
            return;
        }
        TextRead();
        return;
    }
    if (line.file.empty())
        return; // nothing named: normal mode, empty text box, clipboard left alone
    if (line.pluginMode)
        startPluginMode(toQString(line.file));
    else
        openNamedFile(toQString(line.file));
}

void dorUrerUvuroze::startPluginMode(const QString& name)
{
    const QFileInfo info(name);
    // A file that is not there yet reads as empty text, and saving makes it, as an editor
    // does for a new file: the calling program then gets what was written.
    if (!info.exists() && !info.isSymLink()) {
        PluginFile = info.absoluteFilePath();
        PluginMode = true;
        Modified = false;
        setWindowTitle(kTitle + kPluginCaption);
        return;
    }
    const QString notWritten = QStringLiteral("Kestrova はこのファイルに書き込みません。");
    const QString file = fromFsPath(io::GetLongPath(toFsPath(name), io::kAttrAnyFile));
    if (file.isEmpty()) {
        platform::showIoError(
            this, QStringLiteral("ファイルを読めませんでした。") + notWritten,
            io::IoError{io::IoErrorKind::NotAFile, toFsPath(info.absoluteFilePath()),
                        info.isDir() ? "it is a folder" : "it is not a regular file"});
        return;
    }
    PluginFile = file;
    PluginMode = true;
    // Writing back into a file that could not be read would destroy it.
    if (!readFile(PluginFile, notWritten)) {
        PluginMode = false;
        PluginFile.clear();
        return;
    }
    Modified = false;
    // git's instructions in the files it hands its editor must not end up in the message.
    if (isGitEditorFile(PluginFile))
        m_commentChar = gitCommentChar(PluginFile, boxText());
}

void dorUrerUvuroze::openNamedFile(const QString& name)
{
    if (m_pgp->running())
        return; // the text box belongs to the PGP command until it ends
    const QString file = fromFsPath(io::GetLongPath(toFsPath(name), io::kAttrAnyFile));
    if (!file.isEmpty() && FileRead(file))
        TextWrite();
}

void dorUrerUvuroze::showAsLoaded()
{
    switch (m_loadedState) {
    case 1:
        showMinimized();
        break;
    case 2:
        showMaximized();
        break;
    default:
        show();
        break;
    }
}

bool dorUrerUvuroze::FileRead(const QString& name) { return readFile(name, {}); }

bool dorUrerUvuroze::readFile(const QString& name, const QString& failedNote)
{
    const platform::BusyPointer busy;
    auto shown = m_files.read(name, m_settings.ConvMode);
    if (!shown) {
        platform::showIoError(this, QStringLiteral("ファイルを読めませんでした。") + failedNote,
                              shown.error());
        return false;
    }
    QString caption = kTitle;
    if (PluginMode) {
        caption += kPluginCaption;
    } else {
        caption += QStringLiteral("  - ") + name;
        if (!shown->status.empty())
            caption += QStringLiteral("  ") + QString::fromStdString(shown->status);
    }
    setWindowTitle(caption);
    if (shown->cut)
        platform::showLimitMessage(
            this,
            platform::sizeMessage(shown->keptPercent, QStringLiteral("％しか表示できません")));
    setBoxText(shown->text);
    CurrentFile = name;
    // The text now comes from the file: a start-up read of the clipboard must not replace it.
    m_readAtFocus = false;
    m_clipboardUnread = false;
    return true;
}

void dorUrerUvuroze::windowActivated()
{
    if (!m_readAtFocus)
        return;
    m_readAtFocus = false;
    TextRead();
}

void dorUrerUvuroze::userActed()
{
    m_readAtFocus = false;
    if (!m_clipboardUnread)
        return;
    m_clipboardUnread = false;
    if (windowTitle() == kTitle + kUnreadCaption)
        setWindowTitle(kTitle);
}

void dorUrerUvuroze::runUndoable(UndoCommand k, const TextWork& work)
{
    const platform::BusyPointer busy;
    if (!m_undo.offers(k)) {
        const UndoSlot::Pending pending = m_undo.begin(k, boxText());
        finishUndoable(pending, work(pending.before));
    } else {
        const std::u16string before = m_undo.UndoText();
        m_undo.CmdPrint();
        setBoxText(before);
        m_undo.clear();
        afterEdit();
    }
}

void dorUrerUvuroze::finishUndoable(const UndoSlot::Pending& pending, std::u16string_view after)
{
    const bool changed = after != pending.before;
    if (changed) {
        m_undo.CmdPrint();
        setBoxText(after); // the change handling frees the slot first
        m_undo.offer(pending);
    }
    // In normal mode the clipboard gets the text even when the command changed nothing.
    if (changed || !PluginMode)
        afterEdit();
}

void dorUrerUvuroze::afterEdit()
{
    if (PluginMode)
        Modified = true;
    else
        TextWrite();
}

void dorUrerUvuroze::CmdPrint() { m_undo.CmdPrint(); }

void dorUrerUvuroze::txtData_Change()
{
    if (!m_settingBox)
        userActed();
    m_undo.clear();
    if (PluginMode)
        Modified = true;
}

engine::ReflowSettings dorUrerUvuroze::reflowSettings() const
{
    engine::ReflowSettings reflow;
    reflow.Columns = m_settings.Columns;
    reflow.Kinsoku = m_settings.Kinsoku;
    reflow.ChgMode = m_settings.ChgMode;
    reflow.EnterMes = m_settings.EnterMes;
    reflow.Inyofu = m_settings.Inyofu;
    reflow.CommentChar = m_commentChar;
    return reflow;
}

void dorUrerUvuroze::cmdUpdate_Click()
{
    const engine::ReflowSettings reflow = reflowSettings();
    runUndoable(UndoCommand::Update, [&](std::u16string_view text) {
        return engine::TextUpdate(text, reflow, m_reflowState);
    });
}

void dorUrerUvuroze::cmdHanToZen_Click()
{
    runUndoable(UndoCommand::HanToZen,
                [](std::u16string_view text) { return engine::widenKana(text); });
}

void dorUrerUvuroze::cmdInyoAdd_Click()
{
    const platform::BusyPointer busy;
    setBoxText(engine::quoteText(boxText(), m_settings.Inyofu, m_commentChar));
    afterEdit();
}

void dorUrerUvuroze::cmdInyoDel_Click()
{
    const platform::BusyPointer busy;
    m_settings.Inyofu = engine::trimmedInyofu(m_settings.Inyofu);
    setBoxText(engine::unquoteText(boxText(), m_settings.Inyofu, m_commentChar));
    afterEdit();
}

void dorUrerUvuroze::cmdRead_Click()
{
    {
        const platform::BusyPointer busy;
        if (PluginMode) {
            if (FileRead(PluginFile))
                Modified = false;
        } else {
            TextRead();
        }
    }
    m_undo.clear();
}

void dorUrerUvuroze::cmdSetup_Click()
{
    {
        setup::fomSetup dlg(m_settings, this);
        // "鍵一覧", "鍵削除" and "Shell" run with the boxes' values, not yet confirmed.
        dlg.setPgpCommand([this](const setup::PgpKeyCommand& command) {
            std::u16string none;
            m_pgp->setViewFontFace(txtData->font().family());
            static_cast<void>(m_pgp->PgpCommand(
                command.word.toStdString(), none, command.version, pgpui::pgpSettingsOf(m_settings),
                pgp::Overrides{toU16(command.PgpPath), toU16(command.TimeZone),
                               toU16(command.UserID), toU16(command.PassPhrase),
                               toU16(command.EnvSize)}));
        });
        dlg.exec();
    }
    // Whichever way the dialog closed: the font, the PGP strip and the layout follow the record.
    FontSet();
    PGP_View();
    Form_Resize();
}

bool dorUrerUvuroze::mayLeavePluginFile()
{
    if (!PluginMode || !Modified)
        return true;
    const auto answer = platform::askYesNoCancel(
        this, QStringLiteral("内容が変更されています。変更を保存しますか？"));
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes) {
        if (!writeText(PluginFile, boxText(),
                       QStringLiteral("元のファイルはそのまま残っています。")))
            return false; // the text stays in the window until it is saved or given up
        Modified = false;
    }
    return true;
}

// The question about a changed plug-in file is asked by closeEvent, for the close box too.
void dorUrerUvuroze::cmdExit_Click() { close(); }

void dorUrerUvuroze::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    // kestrova-command must end and wipe its work files first: stop it if the user says so,
    // and close once the command has finished.
    if (m_pgp->running()) {
        event->ignore();
        if (platform::askYesNo(
                this, QStringLiteral("PGP の処理が終わっていません。中止して終了しますか？"))) {
            m_closeAfterPgp = true;
            m_pgp->cancel();
        }
        return;
    }
    // The close box asks as the exit button does: closing it is no reason to lose the edit.
    if (!mayLeavePluginFile()) {
        event->ignore();
        return;
    }
    Form_QueryUnload();
    Form_Unload();
    m_unloaded = true;
    event->accept();
}

void dorUrerUvuroze::Form_QueryUnload() { static_cast<void>(PutPara(IniFile)); }

void dorUrerUvuroze::Form_Unload() { picGage->unhook(); }

bool dorUrerUvuroze::mayReplaceCutFile(const QString& path)
{
    if (!m_files.shownInPart(path))
        return true;
    return platform::askYesNo(
        this, QStringLiteral("%1\n\nこのファイルは大きいため、一部しか表示していません。\n"
                             "保存すると、表示していない部分は失われます。保存しますか？")
                  .arg(path));
}

bool dorUrerUvuroze::writeText(const QString& path, std::u16string_view text,
                               const QString& failedNote)
{
    if (!mayReplaceCutFile(path))
        return false;
    if (io::isReadOnlyFile(toFsPath(path)) &&
        !platform::askYesNo(this, QStringLiteral("%1\n\nこのファイルは読み取り専用です。"
                                                 "置き換えますか？")
                                      .arg(path)))
        return false;
    auto written = m_files.write(path, text);
    if (!written) {
        platform::showIoError(this, QStringLiteral("ファイルに保存できませんでした。") + failedNote,
                              written.error());
        return false;
    }
    return true;
}

void dorUrerUvuroze::LoadText()
{
    ComDlg.OwnerhWnd = this;
    ComDlg.Flags = platform::kOpenDialogFlags;
    ComDlg.DialogTitle = QStringLiteral("入力ﾌｧｲﾙの指定");
    ComDlg.FileName = CurrentFile;
    ComDlg.Action(platform::kOpenAction);
    if (ComDlg.FileName.isEmpty())
        return;
    CurrentFile = ComDlg.FileName;
    if (FileRead(CurrentFile))
        TextWrite();
}

void dorUrerUvuroze::SaveText(const std::u16string& text)
{
    ComDlg.OwnerhWnd = this;
    ComDlg.Flags = platform::kSaveDialogFlags;
    ComDlg.DialogTitle = QStringLiteral("出力ﾌｧｲﾙの指定");
    ComDlg.FileName = CurrentFile;
    ComDlg.Action(platform::kSaveAction);
    if (ComDlg.FileName.isEmpty())
        return;
    CurrentFile = ComDlg.FileName;
    // Another file of that name is replaced only when the user says so; the text's own file
    // is what saving is for.
    if (QFileInfo::exists(CurrentFile) && !m_files.isOwnFile(CurrentFile) &&
        !platform::askYesNo(this, QStringLiteral("%1\n\nこのファイルは既にあります。"
                                                 "置き換えますか？")
                                      .arg(CurrentFile)))
        return;
    static_cast<void>(writeText(CurrentFile, text,
                                QStringLiteral("元のファイルがあれば、そのまま残っています。")));
}

void dorUrerUvuroze::TextRead()
{
    platform::ClipboardRead read = platform::readClipboardText();
    if (read.unreadable) {
        // Nothing of it reached the window: the text box keeps its text, and no command puts
        // a result on the clipboard until the user acts, or the mail there would be replaced
        // by a text that never held it.
        m_clipboardUnread = true;
        setWindowTitle(kTitle + kUnreadCaption);
        return;
    }
    userActed();
    m_files.textFromElsewhere();
    const platform::ClipboardIntake intake =
        platform::takeClipboardText(std::move(read.text), m_settings.ConvMode);
    // Told whenever the text is cut: above 3.3 MB the percentage itself rounds down to 0.
    if (intake.cut)
        platform::showLimitMessage(
            this,
            platform::sizeMessage(intake.keptPercent, QStringLiteral("％しか表示できません")));
    setBoxText(intake.text);
}

void dorUrerUvuroze::TextWrite()
{
    if (m_clipboardUnread)
        return; // the clipboard's own text never reached the window: leave it alone
    platform::putOnClipboard(boxText());
}

void dorUrerUvuroze::TextWrite2(int& mode)
{
    if (mode != 1) {
        TextWrite();
        return;
    }
    const std::u16string text = boxText();
    if (text.empty()) {
        platform::putOnClipboard(text);
        return;
    }
    auto jis = io::encodeText(text, io::OutputCode::Jis, true);
    if (!jis) {
        // JIS has no form for the character: the clipboard keeps what it had.
        platform::showIoError(this, QStringLiteral("JIS に変換できない文字があります。"),
                              jis.error());
        return;
    }
    std::u16string bytes;
    bytes.reserve(jis->size());
    for (const char byte : *jis)
        bytes += static_cast<char16_t>(static_cast<unsigned char>(byte));
    platform::putOnClipboard(bytes);
}

std::u16string dorUrerUvuroze::boxText() const
{
    // The raw text: the plain-text form would turn no-break spaces into spaces.
    QString raw = txtData->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return toU16(raw);
}

std::u16string dorUrerUvuroze::selectedText() const
{
    QString selected = txtData->textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return toU16(selected);
}

void dorUrerUvuroze::setBoxText(std::u16string_view text)
{
    // Only CR LF ends a line here; a lone CR or LF stays the character it is.
    QString plain = toQString(text);
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QScopedValueRollback setting(m_settingBox, true);
    txtData->setPlainText(plain);
}

void dorUrerUvuroze::GetPara(const QString& path)
{
    settings::WindowGeometry geometry;
    const std::optional<SettingsReport> report = m_store.load(path, m_settings, geometry);
    const Placement placement = placementOf(geometry, this);
    setGeometry(placement.rect);
    m_loadedState = placement.state;
    // A hidden window gets no resize event for the geometry it was given.
    Form_Resize();
    if (report)
        platform::showIoError(this, report->message, report->error);
}

bool dorUrerUvuroze::PutPara(const QString& path)
{
    return m_store.save(this, path, m_settings, geometryOf(this));
}

void dorUrerUvuroze::helpRequested() { showHelp(this, HelpFile, txtData->font()); }

void dorUrerUvuroze::bringToFront(const QString& activationToken)
{
    // On Wayland, Qt activates a window with the token it finds here (xdg-activation), where
    // the compositor offers that; without one the compositor decides, and may only mark the
    // window as wanting attention.
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

} // namespace kestrova::shell
