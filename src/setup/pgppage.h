// Page 2 of the settings dialog, "PGP関連": PGP on or off, its generation, and the settings of
// each generation on one of two panels that share a place, with the key buttons of PGP 2.6.3i.
#pragma once

#include "settings/settingsfile.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrova::setup {

// What a key button asks of the PGP command runner: its command word, the PGP generation
// (always 0, PGP 2.6.3i, whose panel holds the buttons) and the five PGP boxes' texts as they
// stand, not yet confirmed, to be used in place of the stored settings.
struct PgpKeyCommand
{
    QString word; // "view", "remove" or "command"
    int version = 0;
    QString PgpPath;
    QString TimeZone;
    QString UserID;
    QString PassPhrase;
    QString EnvSize;

    friend bool operator==(const PgpKeyCommand&, const PgpKeyCommand&) = default;
};

// Runs a key command; the dialog holds the busy pointer while it runs and changes no setting.
using PgpCommandHook = std::function<void(const PgpKeyCommand&)>;

class PgpPage : public QWidget
{
    Q_OBJECT

public:
    explicit PgpPage(QWidget* parent);

    void setPgpCommand(PgpCommandHook hook);

    // Setting a box or button here raises its click handler when its value changes, as a
    // user's click would: that enables the PGP controls and picks the panel.
    void load(const settings::Settings& settings);
    // PgpFlg, PgpVer, EncryptMode, JisConvMode (7 or 0), ViewMini, EnvSize, PgpPath, TimeZone,
    // UserID, PassPhrase; a path, zone or pass phrase equal to the environment's stores empty.
    void store(settings::Settings& settings) const;

private slots:
    void chkPGP_Flg_Click();
    void optPgpVer_Click(int Index);
    void cmdPgpPath_Click();
    void cmdPGPKeyView_Click();
    void cmdPGPKeyRemove_Click();
    void cmdPGPCommand_Click();

private:
    void runKeyCommand(const QString& word);

    PgpCommandHook m_pgpCommand;

    QCheckBox* chkPGP_Flg = nullptr;
    std::array<QRadioButton*, 3> optPgpVer{};
    QButtonGroup* m_pgpVerGroup = nullptr;
    QCheckBox* chkPGPEncryptMode = nullptr;
    QCheckBox* chkJisConv = nullptr;
    std::array<QWidget*, 2> picPgpPage{};
    QLineEdit* txtPgpPath = nullptr;
    QPushButton* cmdPgpPath = nullptr;
    QLineEdit* txtTimeZone = nullptr;
    QLineEdit* txtUserId = nullptr;
    QLineEdit* txtPassPhrase = nullptr;
    QLineEdit* txtEnvSize = nullptr;
    QPushButton* cmdPGPKeyView = nullptr;
    QPushButton* cmdPGPKeyRemove = nullptr;
    QPushButton* cmdPGPCommand = nullptr;
    QCheckBox* chkPGPViewMini = nullptr;
};

// The folder text handed to the folder chooser as its preselection: one final "\" is dropped
// unless the text ends in ":\" (a drive's root), one final "/" unless the text is "/" alone.
[[nodiscard]] QString folderForChooser(const QString& text);

} // namespace kestrova::setup
