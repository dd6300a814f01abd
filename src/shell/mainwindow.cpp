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
#include "shell/pgprunstate.h"
#include "shell/placement.h"
#include "shell/settingsstore.h"
#include "shell/singleinstance.h"
#include "shell/windowaccessible.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTextDocument>
#include <QTimer>

#include <cmath>

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

// The strips' designed places, in twips.
constexpr TwipRect kPicGage{0, 0, 5895, 255};
constexpr TwipRect kTxtData{0, 240, 5895, 2415};
constexpr TwipRect kPicCmdTray{0, 2760, 6975, 495};
constexpr TwipRect kPicPgpTray{0, 3240, 6975, 435};

constexpr int kTrayWidth = 6975;

int toTwips(float value) { return static_cast<int>(std::lround(value)); }

// The control codes of Ctrl with a letter, as the text box's key handler sees them.
constexpr int kCtrlA = 1;
constexpr int kCtrlC = 3;
constexpr int kCtrlO = 15;
constexpr int kCtrlS = 19;
constexpr int kCtrlV = 22;
constexpr int kCtrlX = 24;
constexpr int kCtrlZ = 26;

// The ASCII control code Ctrl with a letter makes, 0 for every other key.
int controlCode(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers();
    if (!(mods & Qt::ControlModifier) || (mods & (Qt::AltModifier | Qt::MetaModifier)))
        return 0;
    if (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z)
        return key->key() - Qt::Key_A + 1;
    return 0;
}

} // namespace

// -------------------- The window and its controls

dorUrerUvuroze::dorUrerUvuroze(StartOptions options, QWidget* parent)
    : QWidget(parent)
    , m_options(std::move(options))
{
    registerMainWindowAccessibility();
    setWindowTitle(kTitle);
    createControls();
    applyTabOrder();
    m_pgp = new pgpui::PgpRunner(this, m_settings.UserList);
    // The command strips hold every button that starts a command.
    m_pgpRun = new PgpRunState(*this, *m_pgp, {picCmdTray, picPgpTray, txtData}, txtData);
}

dorUrerUvuroze::~dorUrerUvuroze() = default;

void dorUrerUvuroze::createControls()
{
    txtData = new QPlainTextEdit(this);
    txtData->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The program's undo is the only one: the box's own would undo behind the undo slot.
    txtData->setUndoRedoEnabled(false);
    txtData->setTabChangesFocus(true);
    txtData->setAcceptDrops(true);
    txtData->installEventFilter(this);
    auto* drops = new FileDropTarget(txtData->viewport());
    connect(drops, &FileDropTarget::dropped, this, &dorUrerUvuroze::txtData_OLEDragDrop);

    picGage = new ruler::ColumnRuler(txtData, this);
    picGage->setTwipRect(kPicGage);
    picCmdTray = new QFrame(this);
    picPgpTray = new QFrame(this);

    // Each button with its handler, and what a screen reader says of it: a name without the
    // access key (announced on its own) and what the button does. The undoable ones hold the
    // undo slot in turn, which names them "元に戻す" meanwhile.
    const auto add = [this](QPushButton* dorUrerUvuroze::*member, void (dorUrerUvuroze::*handler)(),
                            const QString& caption, QFrame* strip, const TwipRect& rect,
                            const QString& name, const QString& description,
                            UndoCommand undo = UndoCommand::None) {
        auto* button = new QPushButton(caption, strip);
        button->setAutoDefault(false);
        // A click leaves the keyboard with the text, where the user goes on typing; Tab
        // still reaches every button.
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
        button->setAccessibleName(name);
        button->setAccessibleDescription(description);
        platform::placeInTwips(button, rect);
        connect(button, &QPushButton::clicked, this, handler);
        if (undo != UndoCommand::None)
            m_undo.setHolder(undo, button);
        this->*member = button;
    };
    using enum UndoCommand;
    using W = dorUrerUvuroze;
    const auto undoable = [](UndoCommand k) { return UndoSlot::normalCaption(k); };
    add(&W::cmdRead, &W::cmdRead_Click, QStringLiteral("読み直す(&R)"), picCmdTray,
        {120, 60, 1215, 375}, QStringLiteral("読み直す"),
        QStringLiteral(
            "クリップボードの文章を読み直します。プラグインモードではファイルを読み直します"));
    add(&W::cmdInyoDel, &W::cmdInyoDel_Click, QStringLiteral("(&<)"), picCmdTray,
        {1440, 60, 375, 375}, QStringLiteral("引用を外す"),
        QStringLiteral("引用された各行から、先頭の引用記号を一つ取り除きます"));
    add(&W::cmdInyoAdd, &W::cmdInyoAdd_Click, QStringLiteral("(&>)"), picCmdTray,
        {1920, 60, 375, 375}, QStringLiteral("引用する"),
        QStringLiteral("すべての行の先頭に引用記号を付けます"));
    add(&W::cmdUpdate, &W::cmdUpdate_Click, undoable(Update), picCmdTray, {2400, 60, 1215, 375},
        QStringLiteral("そろえる"),
        QStringLiteral(
            "行を桁数にそろえ、結果をクリップボードに入れます。そろえた後は元に戻します"),
        Update);
    add(&W::cmdExit, &W::cmdExit_Click, QStringLiteral("終了(&X)"), picCmdTray,
        {3720, 60, 1215, 375}, QStringLiteral("終了"), QStringLiteral("Kestrova を終了します"));
    add(&W::cmdSetup, &W::cmdSetup_Click, QStringLiteral("設定"), picCmdTray, {5160, 60, 1215, 375},
        QStringLiteral("設定"),
        QStringLiteral("フォント、桁数、引用記号、禁則などの動作設定を開きます"));
    add(&W::cmdHanToZen, &W::cmdHanToZen_Click, undoable(HanToZen), picPgpTray, {120, 0, 855, 375},
        QStringLiteral("半角カナを全角に"),
        QStringLiteral("半角カナを全角カナに直します。直した後は元に戻します"), HanToZen);
    add(&W::cmdPGPCheck, &W::cmdPGPCheck_Click, undoable(PgpCheck), picPgpTray, {1080, 0, 855, 375},
        QStringLiteral("復号化"),
        QStringLiteral("PGP で暗号を解き、署名を確かめます。その後は元に戻します"), PgpCheck);
    add(&W::cmdPGPSign, &W::cmdPGPSign_Click, undoable(PgpSign), picPgpTray, {2040, 0, 855, 375},
        QStringLiteral("署名"), QStringLiteral("PGP で文章に署名します。署名の後は元に戻します"),
        PgpSign);
    add(&W::cmdPGPCript, &W::cmdPGPCript_Click, undoable(PgpCript), picPgpTray, {3000, 0, 855, 375},
        QStringLiteral("暗号化"), QStringLiteral("PGP で文章を暗号化します。その後は元に戻します"),
        PgpCript);
    add(&W::cmdPGPPubKey, &W::cmdPGPPubKey_Click, undoable(PgpPubKey), picPgpTray,
        {4080, 0, 855, 375}, QStringLiteral("公開鍵"),
        QStringLiteral("文章の後に PGP の公開鍵を付けます。その後は元に戻します"), PgpPubKey);
    add(&W::cmdPGPFingerPrint, &W::cmdPGPFingerPrint_Click, undoable(PgpFingerPrint), picPgpTray,
        {5040, 0, 855, 375}, QStringLiteral("指紋"),
        QStringLiteral("文章の後に PGP の鍵の指紋を付けます。その後は元に戻します"),
        PgpFingerPrint);
    add(&W::cmdPGPKeyAdd, &W::cmdPGPKeyAdd_Click, QStringLiteral("鍵追加"), picPgpTray,
        {6000, 0, 855, 375}, QStringLiteral("鍵追加"),
        QStringLiteral("文章の中の PGP の鍵を鍵束に加えます"));

    txtData->setAccessibleName(QStringLiteral("本文"));
    txtData->setAccessibleDescription(
        QStringLiteral("そろえる文章。クリップボードやファイルから読み込み、ここで編集します"));
    picCmdTray->setAccessibleName(QStringLiteral("コマンド"));
    picCmdTray->setAccessibleDescription(QStringLiteral("文章を整えるボタン"));
    picPgpTray->setAccessibleName(QStringLiteral("PGP コマンド"));
    picPgpTray->setAccessibleDescription(QStringLiteral("半角カナと PGP のボタン"));
    setAccessibleDescription(QStringLiteral("メールやニュースの日本語の文章を整えます"));

    setTwips(txtData, m_txtDataRect, kTxtData);
    setTwips(picCmdTray, m_picCmdTrayRect, kPicCmdTray);
    setTwips(picPgpTray, m_picPgpTrayRect, kPicPgpTray);

    resize(platform::twipsToPixelsX(this, kDesignedWidth),
           platform::twipsToPixelsY(this, kDesignedHeight));

    connect(txtData, &QPlainTextEdit::textChanged, this, &dorUrerUvuroze::txtData_Change);
    connect(picGage, &ruler::ColumnRuler::columnsChosen, this, &dorUrerUvuroze::columnsChosen);

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &dorUrerUvuroze::helpRequested);
}

// Tab order; the picture strips take no focus here, so they drop out of it.
void dorUrerUvuroze::applyTabOrder()
{
    QWidget* const order[] = {txtData,     cmdRead,      cmdInyoDel,        cmdInyoAdd,  cmdUpdate,
                              cmdExit,     cmdSetup,     cmdHanToZen,       cmdPGPCheck, cmdPGPSign,
                              cmdPGPCript, cmdPGPPubKey, cmdPGPFingerPrint, cmdPGPKeyAdd};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void dorUrerUvuroze::setTwips(QWidget* widget, TwipRect& stored, const TwipRect& rect)
{
    stored = rect;
    platform::placeInTwips(widget, rect);
}

// -------------------- Start-up

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
        m_document.startPlugin(info.absoluteFilePath());
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
    m_document.startPlugin(file);
    if (!readFile(file, notWritten)) {
        m_document.leavePlugin();
        return;
    }
    m_document.inStep(); // filling the text box counted as a change
    // git's instructions in the files it hands its editor must not end up in the message.
    if (isGitEditorFile(file))
        m_commentChar = gitCommentChar(file, boxText());
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

// -------------------- Layout and font

void dorUrerUvuroze::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

// Minimising and restoring do not resize the widget here, but they lay the window out all
// the same.
void dorUrerUvuroze::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        windowActivated();
}

// The stack: ruler, text box, command strip, and the PGP strip when it is on.
void dorUrerUvuroze::Form_Resize()
{
    if (picGage == nullptr)
        return;
    const auto width = static_cast<float>(platform::pixelsToTwipsExactX(this, this->width()));
    const auto height = static_cast<float>(platform::pixelsToTwipsExactY(this, this->height()));
    if (width >= static_cast<float>(kTrayWidth)) {
        picGage->setTwipWidth(toTwips(width));
        m_txtDataRect.width = toTwips(width);
    }
    picGage->GageResize(m_settings.Columns);
    const auto gageHeight = static_cast<float>(picGage->twipRect().height);
    const auto trayHeight = static_cast<float>(m_picCmdTrayRect.height);
    const auto pgpHeight = static_cast<float>(m_picPgpTrayRect.height);
    // The PGP strip counts even while hidden: a window too low keeps its previous layout.
    if (gageHeight + trayHeight + pgpHeight > height) {
        platform::placeInTwips(txtData, m_txtDataRect);
        return;
    }
    const float textTop = gageHeight;
    float textHeight = height - textTop - trayHeight;
    if (m_settings.PgpFlg != 0)
        textHeight -= pgpHeight;
    const float trayTop = textTop + textHeight;
    m_txtDataRect.top = toTwips(textTop);
    m_txtDataRect.height = toTwips(textHeight);
    m_picCmdTrayRect.top = toTwips(trayTop);
    if (m_settings.PgpFlg != 0)
        m_picPgpTrayRect.top = toTwips(trayTop + trayHeight);
    platform::placeInTwips(txtData, m_txtDataRect);
    platform::placeInTwips(picCmdTray, m_picCmdTrayRect);
    platform::placeInTwips(picPgpTray, m_picPgpTrayRect);
}

void dorUrerUvuroze::FontSet()
{
    const QFont font =
        platform::textFont(platform::toQString(m_settings.FontName), m_settings.FontSize);
    // The ruler measures in the text's font; set on the window itself, Qt would hand it down
    // to the buttons as well.
    picGage->setScaleFont(font);
    txtData->setFont(font);
}

void dorUrerUvuroze::columnsChosen(int columns)
{
    m_settings.Columns = columns;
    Form_Resize();
}

// -------------------- The text commands and their undo

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
    if (changed || !m_document.PluginMode)
        afterEdit();
}

void dorUrerUvuroze::afterEdit()
{
    m_document.changed();
    if (!m_document.PluginMode)
        TextWrite();
}

void dorUrerUvuroze::txtData_Change()
{
    if (!m_settingBox)
        userActed();
    m_undo.clear();
    m_document.changed();
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
        if (m_document.PluginMode) {
            if (FileRead(m_document.PluginFile))
                m_document.inStep();
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

// -------------------- The PGP commands

void dorUrerUvuroze::cmdPGPCheck_Click() { runPgpUndoable(UndoCommand::PgpCheck, "check"); }
void dorUrerUvuroze::cmdPGPSign_Click() { runPgpUndoable(UndoCommand::PgpSign, "sign"); }
void dorUrerUvuroze::cmdPGPCript_Click() { runPgpUndoable(UndoCommand::PgpCript, "encrypt"); }
void dorUrerUvuroze::cmdPGPPubKey_Click() { runPgpUndoable(UndoCommand::PgpPubKey, "pubkey"); }

void dorUrerUvuroze::cmdPGPFingerPrint_Click()
{
    runPgpUndoable(UndoCommand::PgpFingerPrint, "finger");
}

// The text box, the undo slot and the clipboard stay as they are; the viewer shows what PGP did.
void dorUrerUvuroze::cmdPGPKeyAdd_Click()
{
    if (m_pgp->running())
        return;
    std::u16string copy = boxText();
    m_pgp->setViewFontFace(txtData->font().family());
    static_cast<void>(m_pgp->PgpCommand("add", copy, -1, pgpui::pgpSettingsOf(m_settings)));
    m_pgpRun->closeAfterPgp();
}

// No busy pointer while PGP runs: it would stand over the pass-phrase dialog and the viewer.
// The progress window and the disabled controls show the run instead.
void dorUrerUvuroze::runPgpUndoable(UndoCommand k, std::string_view word)
{
    if (m_pgp->running())
        return;
    if (m_undo.offers(k)) {
        runUndoable(k, {}); // the undo half never runs the work
        return;
    }
    const UndoSlot::Pending pending = m_undo.begin(k, boxText());
    std::u16string copy = pending.before;
    m_pgp->setViewFontFace(txtData->font().family());
    const pgp::PgpResult result =
        m_pgp->PgpCommand(word, copy, -1, pgpui::pgpSettingsOf(m_settings));
    // The text box is disabled while PGP runs; should the text have changed all the same, the
    // newer text wins and PGP's result is not forced over it. A failure PGP reported touches
    // neither the text nor the clipboard: the viewer has said what went wrong.
    if (result != pgp::PgpResult::Failed && !m_undo.overtaken(pending))
        finishUndoable(pending, result == pgp::PgpResult::Done ? copy : pending.before);
    m_pgpRun->closeAfterPgp();
}

void dorUrerUvuroze::PGP_View()
{
    if (m_settings.PgpFlg != 0) {
        cmdPGPPubKey->setEnabled(m_settings.PgpVer == 0);
        cmdPGPFingerPrint->setEnabled(m_settings.PgpVer == 0);
        picPgpTray->show();
    } else {
        picPgpTray->hide();
    }
}

// -------------------- Keys and drops

void dorUrerUvuroze::txtData_KeyPress(int& KeyAscii)
{
    switch (KeyAscii) {
    case kCtrlA:
        txtData->selectAll();
        break;
    case kCtrlC:
    case kCtrlX: {
        // Nothing selected: the clipboard is emptied, as a copy of nothing would leave it.
        const std::u16string selected = selectedText();
        if (selected.empty())
            platform::clearClipboard();
        else
            platform::putOnClipboard(selected);
        if (KeyAscii == kCtrlX) {
            txtData->textCursor().removeSelectedText();
            m_document.changed();
        }
        break;
    }
    case kCtrlO:
        if (!m_document.PluginMode)
            LoadText();
        break;
    case kCtrlS:
        if (m_document.PluginMode) {
            if (writeText(m_document.PluginFile, boxText(),
                          QStringLiteral("元のファイルはそのまま残っています。")))
                m_document.inStep();
        } else {
            SaveText(boxText());
        }
        break;
    case kCtrlV: { // the clipboard text as it is, no conversion and no limit
        const std::u16string pasted = platform::clipboardText();
        if (!pasted.empty())
            txtData->insertPlainText(toQString(pasted));
        m_document.changed();
        break;
    }
    case kCtrlZ: // the box's own undo stays out of reach
        break;
    default:
        return;
    }
    KeyAscii = 0;
}

// Only a local file reaches here: text, pictures and the like are not taken.
void dorUrerUvuroze::txtData_OLEDragDrop(const QString& file)
{
    if (FileRead(file))
        TextWrite();
}

bool dorUrerUvuroze::eventFilter(QObject* watched, QEvent* event)
{
    // An access key is a click, done at once: Qt would first show the button pressed for a
    // tenth of a second, and Alt+S is the key people press most.
    if (event->type() == QEvent::Shortcut) {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button != nullptr && !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
            if (button->isEnabled())
                button->click();
            return true;
        }
    }
    if (watched == txtData && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Alt with a key is a command: an access key no visible button answers does nothing,
        // rather than typing its letter into the mail.
        if ((key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier))
            return true;
        int KeyAscii = controlCode(key);
        if (KeyAscii != 0) {
            txtData_KeyPress(KeyAscii);
            if (KeyAscii == 0)
                return true;
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

// -------------------- Files

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
    if (m_document.PluginMode) {
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
    m_document.CurrentFile = name;
    // The text now comes from the file: a start-up read of the clipboard must not replace it.
    m_readAtFocus = false;
    m_clipboardUnread = false;
    return true;
}

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
    ComDlg.FileName = m_document.CurrentFile;
    ComDlg.Action(platform::kOpenAction);
    if (ComDlg.FileName.isEmpty())
        return;
    m_document.CurrentFile = ComDlg.FileName;
    if (FileRead(m_document.CurrentFile))
        TextWrite();
}

void dorUrerUvuroze::SaveText(const std::u16string& text)
{
    ComDlg.OwnerhWnd = this;
    ComDlg.Flags = platform::kSaveDialogFlags;
    ComDlg.DialogTitle = QStringLiteral("出力ﾌｧｲﾙの指定");
    ComDlg.FileName = m_document.CurrentFile;
    ComDlg.Action(platform::kSaveAction);
    if (ComDlg.FileName.isEmpty())
        return;
    m_document.CurrentFile = ComDlg.FileName;
    // Another file of that name is replaced only when the user says so; the text's own file
    // is what saving is for.
    if (QFileInfo::exists(m_document.CurrentFile) && !m_files.isOwnFile(m_document.CurrentFile) &&
        !platform::askYesNo(this, QStringLiteral("%1\n\nこのファイルは既にあります。"
                                                 "置き換えますか？")
                                      .arg(m_document.CurrentFile)))
        return;
    static_cast<void>(writeText(m_document.CurrentFile, text,
                                QStringLiteral("元のファイルがあれば、そのまま残っています。")));
}

// -------------------- The clipboard and the text box

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

void dorUrerUvuroze::TextWrite2(int mode)
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

// -------------------- Settings

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

// -------------------- Exit

bool dorUrerUvuroze::mayLeavePluginFile()
{
    if (!m_document.unsaved())
        return true;
    const auto answer = platform::askYesNoCancel(
        this, QStringLiteral("内容が変更されています。変更を保存しますか？"));
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes) {
        if (!writeText(m_document.PluginFile, boxText(),
                       QStringLiteral("元のファイルはそのまま残っています。")))
            return false; // the text stays in the window until it is saved or given up
        m_document.inStep();
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
    if (m_pgpRun->holdsClose()) {
        event->ignore();
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

// -------------------- Help, and coming forward for another copy

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
