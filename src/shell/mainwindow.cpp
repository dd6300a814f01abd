#include "shell/mainwindow.h"

#include "engine/hantozen.h"
#include "engine/quote.h"
#include "io/paths.h"
#include "io/textcodec.h"
#include "platform/busypointer.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "platform/qtext.h"
#include "shell/singleinstance.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

namespace kestrova::shell {

namespace {

using platform::fromFsPath;
using platform::toFsPath;
using platform::toQString;
using platform::toU16;
using platform::TwipRect;

const QString kTitle = QStringLiteral("Kestrova");
const QString kFileFilter = QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)|*.txt|全てのﾌｧｲﾙ(*.*)|*.*");
const QString kHelpName = QStringLiteral("Kestrova.html");

// The client area of a first start and the strips' fixed measures, in twips.
constexpr int kDesignedWidth = 7095;
constexpr int kDesignedHeight = 3870;

constexpr TwipRect kPicGage{0, 0, 5895, 255};
constexpr TwipRect kPicGageScrl{0, 0, 2415, 255};
constexpr TwipRect kCmdGage{840, 0, 135, 225};
constexpr TwipRect kLblGage{0, 0, 570, 180};
constexpr TwipRect kTxtData{0, 240, 5895, 2415};
constexpr TwipRect kPicCmdTray{0, 2760, 6975, 495};
constexpr TwipRect kPicPgpTray{0, 3240, 6975, 435};

struct ButtonDesign
{
    QPushButton* dorUrerUvuroze::*member;
    const char16_t* caption;
    TwipRect rect;
    bool onPgpTray;
};

// Captions of the seven undoable commands, by UndoCmd.
const char16_t* const kNormalCaption[8] = {
    nullptr, u"そろえる(&S)", u"復号化", u"署名", u"暗号化", u"公開鍵", u"指紋", u"ｶﾅ>カナ",
};
const char16_t* const kUndoCaption[8] = {
    nullptr,     u"元に戻す(&U)", u"元に戻す", u"元に戻す",
    u"元に戻す", u"元に戻す",     u"元に戻す", u"元に戻す",
};

// Blanks, as the command line and the settings trim them: spaces only.
QString trimBlanks(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == QLatin1Char(' '))
        ++from;
    while (to > from && text[to - 1] == QLatin1Char(' '))
        --to;
    return text.mid(from, to - from);
}

// "-f" in any letter case opens plug-in mode; the file's name follows, with or without a blank.
bool pluginModeAsked(const QString& arguments)
{
    return arguments.left(2).compare(QLatin1String("-f"), Qt::CaseInsensitive) == 0;
}

QString unquoted(const QString& name)
{
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        return name.mid(1, name.size() - 2);
    if (name == QLatin1String("\""))
        return {}; // a lone quote begins and ends with itself: no name at all
    return name;
}

std::size_t codePointCount(std::u16string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count)
        static_cast<void>(engine::nextCodePoint(text, i));
    return count;
}

// The first count characters of text, never ending inside a surrogate pair.
std::u16string firstCharacters(std::u16string_view text, std::size_t count)
{
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n)
        static_cast<void>(engine::nextCodePoint(text, i));
    return std::u16string(text.substr(0, i));
}

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

QString firstDroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

bool sameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    const QString canonicalB = QFileInfo(b).canonicalFilePath();
    if (!canonicalA.isEmpty() && !canonicalB.isEmpty())
        return canonicalA == canonicalB;
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

} // namespace

dorUrerUvuroze::dorUrerUvuroze(StartOptions options, QWidget* parent)
    : QWidget(parent)
    , m_options(std::move(options))
{
    setWindowTitle(kTitle);
    createControls();
    applyTabOrder();
    m_windowFont = font();
}

dorUrerUvuroze::~dorUrerUvuroze() = default;

void dorUrerUvuroze::createControls()
{
    using platform::placeInTwips;

    picGage = new QFrame(this);
    picGage->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picGage->setLineWidth(1);
    picGageScrl = new QWidget(picGage);
    lblGage = new QLabel(picGageScrl);
    cmdGage = new QPushButton(picGageScrl);
    cmdGage->setFocusPolicy(Qt::NoFocus);

    txtData = new QPlainTextEdit(this);
    txtData->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The program's undo is the only one: the box's own would undo behind the undo slot.
    txtData->setUndoRedoEnabled(false);
    txtData->setTabChangesFocus(true);
    txtData->setAcceptDrops(true);
    txtData->viewport()->setAcceptDrops(true);
    txtData->installEventFilter(this);
    txtData->viewport()->installEventFilter(this);

    picCmdTray = new QFrame(this);
    picPgpTray = new QFrame(this);

    const ButtonDesign buttons[] = {
        {&dorUrerUvuroze::cmdRead, u"読み直す(&R)", {120, 60, 1215, 375}, false},
        {&dorUrerUvuroze::cmdInyoDel, u"(&<)", {1440, 60, 375, 375}, false},
        {&dorUrerUvuroze::cmdInyoAdd, u"(&>)", {1920, 60, 375, 375}, false},
        {&dorUrerUvuroze::cmdUpdate, u"そろえる(&S)", {2400, 60, 1215, 375}, false},
        {&dorUrerUvuroze::cmdExit, u"終了(&X)", {3720, 60, 1215, 375}, false},
        {&dorUrerUvuroze::cmdSetup, u"設定", {5160, 60, 1215, 375}, false},
        {&dorUrerUvuroze::cmdHanToZen, u"ｶﾅ>カナ", {120, 0, 855, 375}, true},
        {&dorUrerUvuroze::cmdPGPCheck, u"復号化", {1080, 0, 855, 375}, true},
        {&dorUrerUvuroze::cmdPGPSign, u"署名", {2040, 0, 855, 375}, true},
        {&dorUrerUvuroze::cmdPGPCript, u"暗号化", {3000, 0, 855, 375}, true},
        {&dorUrerUvuroze::cmdPGPPubKey, u"公開鍵", {4080, 0, 855, 375}, true},
        {&dorUrerUvuroze::cmdPGPFingerPrint, u"指紋", {5040, 0, 855, 375}, true},
        {&dorUrerUvuroze::cmdPGPKeyAdd, u"鍵追加", {6000, 0, 855, 375}, true},
    };
    for (const ButtonDesign& design : buttons) {
        auto* button = new QPushButton(QString::fromUtf16(design.caption),
                                       design.onPgpTray ? picPgpTray : picCmdTray);
        button->setAutoDefault(false);
        button->installEventFilter(this);
        placeInTwips(button, design.rect);
        this->*design.member = button;
    }

    setTwips(picGage, m_picGageRect, kPicGage);
    setTwips(picGageScrl, m_picGageScrlRect, kPicGageScrl);
    setTwips(cmdGage, m_cmdGageRect, kCmdGage);
    placeInTwips(lblGage, kLblGage);
    setTwips(txtData, m_txtDataRect, kTxtData);
    setTwips(picCmdTray, m_picCmdTrayRect, kPicCmdTray);
    setTwips(picPgpTray, m_picPgpTrayRect, kPicPgpTray);
    cmdGage->raise();
    lblGage->installEventFilter(this);
    cmdGage->installEventFilter(this);

    resize(platform::twipsToPixelsX(this, kDesignedWidth),
           platform::twipsToPixelsY(this, kDesignedHeight));

    connect(cmdUpdate, &QPushButton::clicked, this, &dorUrerUvuroze::cmdUpdate_Click);
    connect(cmdRead, &QPushButton::clicked, this, &dorUrerUvuroze::cmdRead_Click);
    connect(cmdInyoAdd, &QPushButton::clicked, this, &dorUrerUvuroze::cmdInyoAdd_Click);
    connect(cmdInyoDel, &QPushButton::clicked, this, &dorUrerUvuroze::cmdInyoDel_Click);
    connect(cmdHanToZen, &QPushButton::clicked, this, &dorUrerUvuroze::cmdHanToZen_Click);
    connect(cmdSetup, &QPushButton::clicked, this, &dorUrerUvuroze::cmdSetup_Click);
    connect(cmdExit, &QPushButton::clicked, this, &dorUrerUvuroze::cmdExit_Click);
    connect(cmdPGPCheck, &QPushButton::clicked, this, &dorUrerUvuroze::cmdPGPCheck_Click);
    connect(cmdPGPSign, &QPushButton::clicked, this, &dorUrerUvuroze::cmdPGPSign_Click);
    connect(cmdPGPCript, &QPushButton::clicked, this, &dorUrerUvuroze::cmdPGPCript_Click);
    connect(cmdPGPPubKey, &QPushButton::clicked, this, &dorUrerUvuroze::cmdPGPPubKey_Click);
    connect(cmdPGPFingerPrint, &QPushButton::clicked, this,
            &dorUrerUvuroze::cmdPGPFingerPrint_Click);
    connect(cmdPGPKeyAdd, &QPushButton::clicked, this, &dorUrerUvuroze::cmdPGPKeyAdd_Click);
    connect(txtData, &QPlainTextEdit::textChanged, this, &dorUrerUvuroze::txtData_Change);

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

StartResult dorUrerUvuroze::Form_Load()
{
    // A second copy hands over to the first and touches nothing, settings included. Not in
    // plug-in mode: the program that handed over the file waits for this copy to end, and
    // would take a copy that ends at once for an edit that is done.
    if (!m_options.instanceName.isEmpty() && !pluginModeAsked(m_options.arguments)) {
        auto* instance = new SingleInstance(m_options.instanceName, this);
        if (instance->raiseRunningCopyOrListen())
            return StartResult::RaisedRunningCopy;
        m_instance = instance;
        connect(instance, &SingleInstance::raiseRequested, this, &dorUrerUvuroze::bringToFront);
    }

    HelpFile = kHelpName;
    for (const QString& folder : {m_options.programDir, m_options.docDir}) {
        if (folder.isEmpty())
            continue;
        const QString candidate = QDir(folder).filePath(kHelpName);
        if (QFileInfo(candidate).isFile()) {
            HelpFile = candidate;
            break;
        }
    }

    ComDlg.Filter = kFileFilter;
    GageInit();
    m_settings.UserList.fill(std::u16string());
    UndoCmd = 0;
    IniFile = fromFsPath(settings::settingsFilePath(toFsPath(m_options.programDir)));

    // The text box hook: the ruler follows every repaint and horizontal scroll of the box.
    connect(txtData->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &dorUrerUvuroze::GageScrl);
    m_hooked = true;

    GetPara(IniFile);
    FontSet();
    PGP_View();

    PluginMode = 0;
    commandLine();
    txtData->setFocus();
    return StartResult::Run;
}

void dorUrerUvuroze::commandLine()
{
    const QString arguments = m_options.arguments;
    if (arguments.isEmpty()) {
        TextRead();
        return;
    }
    if (pluginModeAsked(arguments)) {
        const QString name = trimBlanks(unquoted(trimBlanks(arguments.mid(2))));
        const QString file =
            name.isEmpty() ? QString() : fromFsPath(io::GetLongPath(toFsPath(name), 7));
        if (file.isEmpty())
            return; // no such file: normal mode, empty text box, clipboard left alone
        PluginFile = file;
        PluginMode = 1;
        if (!FileRead(PluginFile)) {
            // Writing back into a file that could not be read would destroy it.
            PluginMode = 0;
            PluginFile.clear();
            return;
        }
        Modified = 0;
        return;
    }
    const QString name = trimBlanks(unquoted(trimBlanks(arguments)));
    const QString file =
        name.isEmpty() ? QString() : fromFsPath(io::GetLongPath(toFsPath(name), 7));
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

bool dorUrerUvuroze::FileRead(const QString& name)
{
    const platform::BusyPointer busy;
    auto read = io::ReadTextFile(toFsPath(name), m_settings.ConvMode);
    if (!read) {
        platform::showIoError(this, QStringLiteral("ファイルを読めませんでした。"), read.error());
        return false;
    }
    // A missing file reads as empty text; one that vanished since it was chosen must not
    // empty the text box.
    if (read->text.empty() && !QFileInfo::exists(name)) {
        platform::showIoError(
            this, QStringLiteral("ファイルを読めませんでした。"),
            io::IoError{io::IoErrorKind::NotFound, toFsPath(name), "the file does not exist"});
        return false;
    }

    QString caption = kTitle;
    if (PluginMode == 1) {
        caption += QStringLiteral("  - Plugin Mode");
    } else {
        caption += QStringLiteral("  - ") + name;
        if (!read->status.empty())
            caption += QStringLiteral("  ") + QString::fromStdString(read->status);
    }
    setWindowTitle(caption);

    std::u16string text = std::move(read->text);
    const std::size_t n = 2 * codePointCount(text);
    m_cutFile.clear();
    if (n >= 32768) {
        platform::showLimitMessage(this,
                                   platform::sizeMessage(static_cast<int>(3276700 / n),
                                                         QStringLiteral("％しか表示できません")));
        text = firstCharacters(text, 16383);
        m_cutFile = name;
    }
    setBoxText(text);
    CurrentFile = name;
    m_readFrom = name;
    m_readFormat = io::formatOf(*read);
    return true;
}

void dorUrerUvuroze::runUndoable(int k, QPushButton* button, const TextWork& work)
{
    const platform::BusyPointer busy;
    if (UndoCmd != k) {
        const std::u16string before = boxText();
        const std::u16string after = work(before);
        if (after != before) {
            CmdPrint();
            setBoxText(after); // the change handling frees the slot first
            UndoText = before;
            button->setText(QString::fromUtf16(kUndoCaption[k]));
            UndoCmd = k;
            if (PluginMode == 1)
                Modified = -1;
        }
    } else {
        CmdPrint();
        setBoxText(UndoText);
        UndoCmd = 0;
    }
    if (PluginMode == 0)
        TextWrite();
}

void dorUrerUvuroze::CmdPrint()
{
    QPushButton* const holders[8] = {nullptr,     cmdUpdate,    cmdPGPCheck,       cmdPGPSign,
                                     cmdPGPCript, cmdPGPPubKey, cmdPGPFingerPrint, cmdHanToZen};
    if (UndoCmd >= 1 && UndoCmd <= 7)
        holders[UndoCmd]->setText(QString::fromUtf16(kNormalCaption[UndoCmd]));
}

void dorUrerUvuroze::txtData_Change()
{
    CmdPrint();
    if (PluginMode == 1)
        Modified = -1;
    UndoCmd = 0;
}

engine::ReflowSettings dorUrerUvuroze::reflowSettings() const
{
    engine::ReflowSettings reflow;
    reflow.Columns = m_settings.Columns;
    reflow.Kinsoku = m_settings.Kinsoku;
    reflow.ChgMode = m_settings.ChgMode;
    reflow.EnterMes = m_settings.EnterMes;
    reflow.Inyofu = m_settings.Inyofu;
    return reflow;
}

void dorUrerUvuroze::cmdUpdate_Click()
{
    const engine::ReflowSettings reflow = reflowSettings();
    runUndoable(1, cmdUpdate, [&](std::u16string_view text) {
        return engine::TextUpdate(text, reflow, m_reflowState);
    });
}

void dorUrerUvuroze::cmdHanToZen_Click()
{
    runUndoable(7, cmdHanToZen, [](std::u16string_view text) { return engine::widenKana(text); });
}

void dorUrerUvuroze::cmdInyoAdd_Click()
{
    const platform::BusyPointer busy;
    setBoxText(engine::quoteText(boxText(), m_settings.Inyofu));
    if (PluginMode != 0)
        Modified = -1;
    else
        TextWrite();
}

void dorUrerUvuroze::cmdInyoDel_Click()
{
    const platform::BusyPointer busy;
    m_settings.Inyofu = engine::trimmedInyofu(m_settings.Inyofu);
    setBoxText(engine::unquoteText(boxText(), m_settings.Inyofu));
    if (PluginMode != 0)
        Modified = -1;
    else
        TextWrite();
}

void dorUrerUvuroze::cmdRead_Click()
{
    {
        const platform::BusyPointer busy;
        if (PluginMode == 1) {
            if (FileRead(PluginFile))
                Modified = 0;
        } else {
            TextRead();
        }
    }
    CmdPrint();
    UndoCmd = 0;
}

// The settings dialog comes with its own work; until then the button opens nothing, and the
// steps that follow the dialog still run.
void dorUrerUvuroze::cmdSetup_Click()
{
    FontSet();
    PGP_View();
    Form_Resize();
}

// The PGP commands come with the PGP runner; until then their buttons do nothing.
void dorUrerUvuroze::cmdPGPCheck_Click() {}
void dorUrerUvuroze::cmdPGPSign_Click() {}
void dorUrerUvuroze::cmdPGPCript_Click() {}
void dorUrerUvuroze::cmdPGPPubKey_Click() {}
void dorUrerUvuroze::cmdPGPFingerPrint_Click() {}
void dorUrerUvuroze::cmdPGPKeyAdd_Click() {}

bool dorUrerUvuroze::mayLeavePluginFile()
{
    if (PluginMode != 1 || Modified == 0)
        return true;
    const auto answer = platform::askYesNoCancel(
        this, QStringLiteral("内容が変更されています。変更を保存しますか？"));
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes) {
        if (!writeBack(PluginFile))
            return false; // the text stays in the window until it is saved or given up
        Modified = 0;
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
    // The close box asks as the exit button does: closing it is no reason to lose the edit.
    if (!mayLeavePluginFile()) {
        event->ignore();
        return;
    }
    bool cancel = false;
    Form_QueryUnload(cancel, 0);
    if (cancel) {
        event->ignore();
        return;
    }
    Form_Unload(cancel);
    m_unloaded = true;
    event->accept();
}

void dorUrerUvuroze::Form_QueryUnload(bool& cancel, int mode)
{
    static_cast<void>(mode);
    // A settings file that cannot be written is reported, and the window closes all the same.
    static_cast<void>(PutPara(IniFile));
    cancel = false;
}

void dorUrerUvuroze::Form_Unload(bool& cancel)
{
    cancel = false;
    if (m_hooked) {
        disconnect(txtData->horizontalScrollBar(), &QScrollBar::valueChanged, this,
                   &dorUrerUvuroze::GageScrl);
        m_hooked = false;
    }
}

bool dorUrerUvuroze::mayReplaceCutFile(const QString& path)
{
    if (!sameFile(path, m_cutFile))
        return true;
    return platform::askYesNo(
        this, QStringLiteral("%1\n\nこのファイルは大きいため、一部しか表示していません。\n"
                             "保存すると、表示していない部分は失われます。保存しますか？")
                  .arg(path));
}

io::TextFormat dorUrerUvuroze::formatFor(const QString& path) const
{
    return sameFile(path, m_readFrom) ? m_readFormat : io::TextFormat{};
}

bool dorUrerUvuroze::writeBack(const QString& path)
{
    if (!mayReplaceCutFile(path))
        return false;
    auto written = io::WriteTextFile(0, boxText(), toFsPath(path), {}, {}, formatFor(path));
    if (!written) {
        platform::showIoError(this,
                              QStringLiteral("ファイルに保存できませんでした。"
                                             "元のファイルはそのまま残っています。"),
                              written.error());
        return false;
    }
    if (sameFile(path, m_cutFile))
        m_cutFile.clear();
    return true;
}

void dorUrerUvuroze::LoadText(const std::u16string& text)
{
    static_cast<void>(text);
    ComDlg.OwnerhWnd = this;
    ComDlg.Flags = platform::kOpenDialogFlags;
    ComDlg.DialogTitle = QStringLiteral("入力ﾌｧｲﾙの指定");
    ComDlg.FileName = CurrentFile;
    ComDlg.Action(1);
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
    ComDlg.Action(2);
    if (ComDlg.FileName.isEmpty())
        return;
    CurrentFile = ComDlg.FileName;
    if (!mayReplaceCutFile(CurrentFile))
        return;
    auto written =
        io::WriteTextFile(0, text, toFsPath(CurrentFile), {}, {}, formatFor(CurrentFile));
    if (!written) {
        platform::showIoError(this,
                              QStringLiteral("ファイルに保存できませんでした。"
                                             "元のファイルがあれば、そのまま残っています。"),
                              written.error());
        return;
    }
    if (sameFile(CurrentFile, m_cutFile))
        m_cutFile.clear();
}

void dorUrerUvuroze::TextRead()
{
    const platform::ClipboardIntake intake =
        platform::takeClipboardText(platform::clipboardText(), m_settings.ConvMode);
    if (intake.keptPercent > 0)
        platform::showLimitMessage(
            this,
            platform::sizeMessage(intake.keptPercent, QStringLiteral("％しか表示できません")));
    setBoxText(intake.text);
}

void dorUrerUvuroze::TextWrite() { platform::putOnClipboard(boxText()); }

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
    QString plain = toQString(text);
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtData->setPlainText(plain);
}

void dorUrerUvuroze::txtData_KeyPress(int& KeyAscii)
{
    switch (KeyAscii) {
    case 1: // Ctrl+A
        txtData->selectAll();
        KeyAscii = 0;
        break;
    case 3: { // Ctrl+C
        const std::u16string selected = selectedText();
        if (selected.empty())
            platform::clearClipboard();
        else
            platform::putOnClipboard(selected);
        KeyAscii = 0;
        break;
    }
    case 15: // Ctrl+O
        if (PluginMode == 0)
            LoadText(boxText());
        KeyAscii = 0;
        break;
    case 19: // Ctrl+S
        if (PluginMode == 1) {
            if (writeBack(PluginFile))
                Modified = 0;
        } else {
            SaveText(boxText());
        }
        KeyAscii = 0;
        break;
    case 22: { // Ctrl+V: the clipboard text as it is, no conversion and no limit
        const std::u16string pasted = platform::clipboardText();
        if (!pasted.empty())
            txtData->insertPlainText(toQString(pasted));
        if (PluginMode == 1)
            Modified = -1;
        KeyAscii = 0;
        break;
    }
    case 24: { // Ctrl+X
        const std::u16string selected = selectedText();
        if (selected.empty())
            platform::clearClipboard();
        else
            platform::putOnClipboard(selected);
        txtData->textCursor().removeSelectedText();
        if (PluginMode == 1)
            Modified = -1;
        KeyAscii = 0;
        break;
    }
    case 26: // Ctrl+Z: the box's own undo stays out of reach
        KeyAscii = 0;
        break;
    default:
        break;
    }
}

void dorUrerUvuroze::txtData_OLEDragDrop(const QMimeData* dropped)
{
    const QString file = firstDroppedFile(dropped);
    if (file.isEmpty())
        return; // text, pictures and the like are not taken
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
    if (rulerEvent(watched, event))
        return true;
    if (watched == txtData && event->type() == QEvent::KeyPress) {
        int KeyAscii = controlCode(static_cast<QKeyEvent*>(event));
        if (KeyAscii != 0) {
            txtData_KeyPress(KeyAscii);
            if (KeyAscii == 0)
                return true;
        }
        return false;
    }
    if (watched == txtData->viewport()) {
        switch (event->type()) {
        case QEvent::Paint:
            if (m_hooked)
                GageScrl();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!firstDroppedFile(drag->mimeData()).isEmpty())
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QString file = firstDroppedFile(drop->mimeData());
            if (file.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            // Read once the drop is over: the program the file came from is waiting for it.
            auto dropped = std::make_shared<QMimeData>();
            dropped->setUrls({QUrl::fromLocalFile(file)});
            QTimer::singleShot(0, this, [this, dropped] { txtData_OLEDragDrop(dropped.get()); });
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void dorUrerUvuroze::GetPara(const QString& path)
{
    settings::WindowGeometry geometry;
    auto notes = settings::GetPara(toFsPath(path), m_settings, geometry);
    applyGeometry(geometry);
    // A hidden window gets no resize event for the geometry it was given.
    Form_Resize();
    if (!notes) {
        m_keepOldSettings = QFileInfo::exists(path);
        platform::showIoError(this,
                              QStringLiteral("設定ファイルを読めませんでした。"
                                             "既定の設定で起動します。\n"
                                             "終了するとき、元のファイルは名前の末尾に"
                                             " .bak を付けて残します。"),
                              notes.error());
        return;
    }
    QStringList damaged;
    for (const settings::LineNote& note : notes->lines) {
        if (note.problem == settings::LineProblem::NotText ||
            note.problem == settings::LineProblem::BadValue)
            damaged << QString::number(note.line);
    }
    if (!damaged.isEmpty()) {
        m_keepOldSettings = true;
        platform::showIoError(
            this,
            QStringLiteral("設定ファイルの %1 行目を読めませんでした。"
                           "その設定は既定の値を使います。\n"
                           "終了するとき、元のファイルは名前の末尾に .bak を付けて残します。")
                .arg(damaged.join(QStringLiteral(", "))),
            io::IoError{io::IoErrorKind::BadData, toFsPath(path), {}});
    }
}

bool dorUrerUvuroze::PutPara(const QString& path)
{
    if (m_keepOldSettings && QFileInfo::exists(path)) {
        const QString backup = path + QStringLiteral(".bak");
        QFile::remove(backup);
        if (!QFile::rename(path, backup)) {
            platform::showIoError(
                this, QStringLiteral("元の設定ファイルを残せないため、設定を保存しませんでした。"),
                io::IoError{io::IoErrorKind::NotWritable, toFsPath(path),
                            "cannot rename it to " + toFsPath(backup)});
            return false;
        }
        m_keepOldSettings = false;
    }
    auto written = settings::PutPara(toFsPath(path), m_settings, currentGeometry());
    if (!written) {
        platform::showIoError(this, QStringLiteral("設定ファイルを保存できませんでした。"),
                              written.error());
        return false;
    }
    return true;
}

void dorUrerUvuroze::applyGeometry(const settings::WindowGeometry& geometry)
{
    using platform::twipsToPixelsX;
    using platform::twipsToPixelsY;
    QRect rect(0, 0, twipsToPixelsX(this, kDesignedWidth), twipsToPixelsY(this, kDesignedHeight));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desk = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    rect.moveCenter(desk.center());
    if (!geometry.centre) {
        if (geometry.hasLeft)
            rect.moveLeft(twipsToPixelsX(this, geometry.Left));
        if (geometry.hasTop)
            rect.moveTop(twipsToPixelsY(this, geometry.Top));
        if (geometry.hasWidth)
            rect.setWidth(twipsToPixelsX(this, geometry.Width));
        if (geometry.hasHeight)
            rect.setHeight(twipsToPixelsY(this, geometry.Height));
        // A window left on a screen that is gone would open where nobody can see it.
        bool visible = false;
        for (const QScreen* each : QGuiApplication::screens())
            visible = visible || each->availableGeometry().intersects(rect);
        if (!visible)
            rect.moveCenter(desk.center());
    }
    setGeometry(rect);
    m_loadedState =
        geometry.hasState && geometry.State >= 0 && geometry.State <= 2 ? geometry.State : 0;
}

settings::WindowGeometry dorUrerUvuroze::currentGeometry() const
{
    using platform::pixelsToTwipsX;
    using platform::pixelsToTwipsY;
    settings::WindowGeometry geometry;
    geometry.State = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    // A window closed maximised or minimised records where its normal window stands.
    QRect rect = geometry.State != 0 ? normalGeometry() : this->geometry();
    if (!rect.isValid())
        rect = this->geometry();
    geometry.Left = pixelsToTwipsX(this, rect.x());
    geometry.Top = pixelsToTwipsY(this, rect.y());
    geometry.Width = pixelsToTwipsX(this, rect.width());
    geometry.Height = pixelsToTwipsY(this, rect.height());
    return geometry;
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

void dorUrerUvuroze::helpRequested()
{
    const QFileInfo help(HelpFile);
    if (!help.isAbsolute() || !help.isFile()) {
        platform::showIoError(this, QStringLiteral("ヘルプファイルが見つかりません。"),
                              io::IoError{io::IoErrorKind::NotFound, toFsPath(HelpFile),
                                          "it is neither beside the program nor in the "
                                          "documentation folder"});
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(help.absoluteFilePath())))
        platform::showIoError(this, QStringLiteral("ヘルプを開けませんでした。"),
                              io::IoError{io::IoErrorKind::Other, toFsPath(HelpFile),
                                          "no program to show it was found"});
}

void dorUrerUvuroze::bringToFront()
{
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

} // namespace kestrova::shell
