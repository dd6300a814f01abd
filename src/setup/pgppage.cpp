#include "setup/pgppage.h"

#include "platform/busypointer.h"
#include "platform/folderdlg.h"
#include "platform/qtext.h"
#include "setup/controls.h"
#include "setup/numbers.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kestrova::setup {

namespace {

constexpr const char16_t* kPgpVerCaptions[] = {u"2.6.3i", u"5.5.3i ～", u"6.5.1i ～"};

// The root folder the chooser starts from (the whole file system) and the options the key
// ring folder asks for: file-system folders only, with a status line.
constexpr int kChooserRoot = 0;
constexpr int kChooserFlags = 13;

QLineEdit* makeBox(const QString& name, QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

// An enabled box has the window background, a disabled one the button face, in the
// platform's own colours.
void paintBox(QLineEdit* box, bool enabled)
{
    QPalette palette = box->palette();
    palette.setBrush(QPalette::Base,
                     QApplication::palette().brush(enabled ? QPalette::Base : QPalette::Button));
    box->setPalette(palette);
}

// The environment's value of a variable; empty when it is not set.
QString environment(const char* name) { return qEnvironmentVariable(name); }

QString orEnvironment(const std::u16string& stored, const char* name)
{
    return stored.empty() ? environment(name) : platform::toQString(stored);
}

// Empty when the text is what the environment says, so the environment keeps governing it.
std::u16string unlessEnvironment(const QString& text, const char* name)
{
    return text == environment(name) ? std::u16string() : platform::toU16(text);
}

} // namespace

QString folderForChooser(const QString& text)
{
    if (text.endsWith(QLatin1Char('\\')) && !text.endsWith(QStringLiteral(":\\")))
        return text.chopped(1);
    if (text.endsWith(QLatin1Char('/')) && text != QStringLiteral("/"))
        return text.chopped(1);
    return text;
}

PgpPage::PgpPage(QWidget* parent)
    : QWidget(parent)
{
    chkPGP_Flg = new QCheckBox(QStringLiteral("PGPを使う"), this);
    chkPGP_Flg->setObjectName(QStringLiteral("chkPGP_Flg"));

    m_pgpVerGroup = new QButtonGroup(this);
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(new QLabel(QStringLiteral("Version："), this));
    for (int i = 0; i < 3; ++i) {
        optPgpVer[i] = new QRadioButton(QString::fromUtf16(kPgpVerCaptions[i]), this);
        optPgpVer[i]->setObjectName(QStringLiteral("optPgpVer(%1)").arg(i));
        m_pgpVerGroup->addButton(optPgpVer[i], i);
        versionRow->addWidget(optPgpVer[i]);
    }
    versionRow->addStretch(1);

    chkPGPEncryptMode = new QCheckBox(QStringLiteral("暗号化で署名もする"), this);
    chkPGPEncryptMode->setObjectName(QStringLiteral("chkPGPEncryptMode"));
    chkJisConv = new QCheckBox(QStringLiteral("JISｺｰﾄﾞを使用する"), this);
    chkJisConv->setObjectName(QStringLiteral("chkJisConv"));
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(chkPGPEncryptMode);
    modeRow->addWidget(chkJisConv);
    modeRow->addStretch(1);

    // Panel 0: PGP 2.6.3i, run here through its batch file.
    picPgpPage[0] = new QWidget(this);
    picPgpPage[0]->setObjectName(QStringLiteral("picPgpPage(0)"));
    QWidget* const panel0 = picPgpPage[0];
    txtPgpPath = makeBox(QStringLiteral("txtPgpPath"), panel0);
    cmdPgpPath = makeButton(QStringLiteral("..."), QStringLiteral("cmdPgpPath"), panel0);
    txtTimeZone = makeBox(QStringLiteral("txtTimeZone"), panel0);
    txtUserId = makeBox(QStringLiteral("txtUserId"), panel0);
    txtPassPhrase = makeBox(QStringLiteral("txtPassPhrase"), panel0);
    txtPassPhrase->setEchoMode(QLineEdit::Password);
    txtPassPhrase->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    txtEnvSize = makeBox(QStringLiteral("txtEnvSize"), panel0);
    cmdPGPKeyView = makeButton(QStringLiteral("鍵一覧"), QStringLiteral("cmdPGPKeyView"), panel0);
    cmdPGPKeyRemove =
        makeButton(QStringLiteral("鍵削除"), QStringLiteral("cmdPGPKeyRemove"), panel0);
    cmdPGPCommand = makeButton(QStringLiteral("Shell"), QStringLiteral("cmdPGPCommand"), panel0);

    auto* grid = new QGridLayout(panel0);
    grid->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char16_t*, QLineEdit*> rows[] = {
        {u"PGPPATH：", txtPgpPath},       {u"TimeZone：", txtTimeZone},    {u"UserID：", txtUserId},
        {u"PassPhrase：", txtPassPhrase}, {u"環境変数領域：", txtEnvSize},
    };
    int row = 0;
    for (const auto& [caption, box] : rows) {
        auto* label = new QLabel(QString::fromUtf16(caption), panel0);
        label->setBuddy(box);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        ++row;
    }
    grid->addWidget(cmdPgpPath, 0, 2);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(cmdPGPKeyView);
    keyRow->addWidget(cmdPGPKeyRemove);
    keyRow->addWidget(cmdPGPCommand);
    keyRow->addStretch(1);
    grid->addLayout(keyRow, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    // Panel 1: the later PGP generations, reached through their tray program.
    picPgpPage[1] = new QWidget(this);
    picPgpPage[1]->setObjectName(QStringLiteral("picPgpPage(1)"));
    chkPGPViewMini =
        new QCheckBox(QStringLiteral("PGPのｳｨﾝﾄﾞｳを強制的に前面移動する"), picPgpPage[1]);
    chkPGPViewMini->setObjectName(QStringLiteral("chkPGPViewMini"));
    auto* panel1Layout = new QVBoxLayout(picPgpPage[1]);
    panel1Layout->setContentsMargins(0, 0, 0, 0);
    panel1Layout->addWidget(chkPGPViewMini);
    panel1Layout->addStretch(1);

    auto* page = new QGridLayout(this);
    page->addWidget(chkPGP_Flg, 0, 0);
    page->addLayout(versionRow, 1, 0);
    page->addLayout(modeRow, 2, 0);
    // Both panels in one cell: they lie on top of each other at the page's left edge, as
    // wide as the page, and only one is shown.
    page->addWidget(picPgpPage[0], 3, 0, Qt::AlignTop);
    page->addWidget(picPgpPage[1], 3, 0, Qt::AlignTop);
    page->setRowStretch(4, 1);

    // As drawn: PGP 2.6.3i chosen, its panel shown, and PGP off, so its controls disabled.
    optPgpVer[0]->setChecked(true);
    picPgpPage[1]->hide();
    chkPGP_Flg_Click();

    connect(chkPGP_Flg, &QCheckBox::toggled, this, &PgpPage::chkPGP_Flg_Click);
    for (int i = 0; i < 3; ++i)
        connect(optPgpVer[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                optPgpVer_Click(i);
        });
    connect(cmdPgpPath, &QPushButton::clicked, this, &PgpPage::cmdPgpPath_Click);
    connect(cmdPGPKeyView, &QPushButton::clicked, this, &PgpPage::cmdPGPKeyView_Click);
    connect(cmdPGPKeyRemove, &QPushButton::clicked, this, &PgpPage::cmdPGPKeyRemove_Click);
    connect(cmdPGPCommand, &QPushButton::clicked, this, &PgpPage::cmdPGPCommand_Click);
}

void PgpPage::setPgpCommand(PgpCommandHook hook) { m_pgpCommand = std::move(hook); }

void PgpPage::load(const settings::Settings& settings)
{
    chkPGP_Flg->setChecked(settings.PgpFlg != 0);
    if (settings.PgpVer >= 0 && settings.PgpVer <= 2)
        optPgpVer[static_cast<std::size_t>(settings.PgpVer)]->setChecked(true);
    chkPGPEncryptMode->setChecked(settings.EncryptMode != 0);
    chkJisConv->setChecked((settings.JisConvMode & 1) != 0);
    chkPGPViewMini->setChecked(settings.ViewMini != 0);
    if (settings.EnvSize > 0)
        txtEnvSize->setText(QString::number(settings.EnvSize));
    txtPgpPath->setText(orEnvironment(settings.PgpPath, "PGPPATH"));
    txtTimeZone->setText(orEnvironment(settings.TimeZone, "TZ"));
    if (!settings.UserID.empty())
        txtUserId->setText(platform::toQString(settings.UserID));
    txtPassPhrase->setText(orEnvironment(settings.PassPhrase, "PGPPASS"));
}

void PgpPage::store(settings::Settings& settings) const
{
    settings.PgpFlg = chkPGP_Flg->isChecked() ? 1 : 0;
    settings.PgpVer = optPgpVer[0]->isChecked() ? 0 : optPgpVer[1]->isChecked() ? 1 : 2;
    settings.EncryptMode = chkPGPEncryptMode->isChecked() ? 1 : 0;
    settings.JisConvMode = chkJisConv->isChecked() ? 7 : 0;
    settings.ViewMini = chkPGPViewMini->isChecked() ? 1 : 0;
    const auto envSize = readInt32(txtEnvSize->text());
    settings.EnvSize = envSize && *envSize > 0 ? *envSize : 0;
    settings.PgpPath = unlessEnvironment(txtPgpPath->text(), "PGPPATH");
    settings.TimeZone = unlessEnvironment(txtTimeZone->text(), "TZ");
    settings.UserID = platform::toU16(txtUserId->text());
    settings.PassPhrase = unlessEnvironment(txtPassPhrase->text(), "PGPPASS");
}

void PgpPage::chkPGP_Flg_Click()
{
    const bool on = chkPGP_Flg->isChecked();
    for (QLineEdit* box : {txtEnvSize, txtPgpPath, txtTimeZone, txtUserId, txtPassPhrase}) {
        box->setEnabled(on);
        paintBox(box, on);
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{cmdPgpPath, chkPGPEncryptMode, chkJisConv, cmdPGPKeyView,
                                         cmdPGPKeyRemove, cmdPGPCommand})
        control->setEnabled(on);
}

void PgpPage::optPgpVer_Click(int Index)
{
    picPgpPage[0]->setVisible(Index == 0);
    picPgpPage[1]->setVisible(Index != 0);
}

void PgpPage::cmdPgpPath_Click()
{
    const QString chosen = platform::proOpenFolderDlg(
        folderForChooser(txtPgpPath->text()),
        QStringLiteral("PGPPATH（PGPの鍵輪ファイルなどの保存されたフォルダ）を選択して下さい。"),
        window(), kChooserRoot, kChooserFlags);
    if (!chosen.isEmpty())
        txtPgpPath->setText(chosen);
}

void PgpPage::cmdPGPKeyView_Click() { runKeyCommand(QStringLiteral("view")); }

void PgpPage::cmdPGPKeyRemove_Click() { runKeyCommand(QStringLiteral("remove")); }

void PgpPage::cmdPGPCommand_Click() { runKeyCommand(QStringLiteral("command")); }

void PgpPage::runKeyCommand(const QString& word)
{
    if (!m_pgpCommand)
        return;
    const platform::BusyPointer busy;
    m_pgpCommand(PgpKeyCommand{word, 0, txtPgpPath->text(), txtTimeZone->text(), txtUserId->text(),
                               txtPassPhrase->text(), txtEnvSize->text()});
}

} // namespace kestrova::setup
