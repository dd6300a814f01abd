// The window's controls and layout: where each stands, the stack of strips, and the font the
// text box and the ruler share.
#include "platform/fonts.h"
#include "platform/qtext.h"
#include "ruler/ruler.h"
#include "shell/filedrop.h"
#include "shell/mainwindow.h"
#include "shell/placement.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>

#include <cmath>

namespace kestrova::shell {

namespace {

using platform::TwipRect;

// The strips' designed places, in twips.
constexpr TwipRect kPicGage{0, 0, 5895, 255};
constexpr TwipRect kTxtData{0, 240, 5895, 2415};
constexpr TwipRect kPicCmdTray{0, 2760, 6975, 495};
constexpr TwipRect kPicPgpTray{0, 3240, 6975, 435};

constexpr int kTrayWidth = 6975;

int toTwips(float value) { return static_cast<int>(std::lround(value)); }

} // namespace

void dorUrerUvuroze::createControls()
{
    using platform::placeInTwips;

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

} // namespace kestrova::shell
