// The settings dialog, fomSetup, captioned "動作設定": four pages of settings in one frame.
#pragma once

#include "settings/settingsfile.h"
#include "setup/fontpage.h"
#include "setup/pgppage.h"

#include <QDialog>

#include <array>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QStackedWidget;

namespace kestrova::setup {

class FlowPage;

// Edits the settings record in memory: "戻る" (Enter) stores every page's values in it and
// closes; "ｷｬﾝｾﾙ", Esc and the close box close with the record untouched. Use it on the stack:
//     setup::fomSetup dlg(settings, this);
//     dlg.exec();
class fomSetup : public QDialog
{
    Q_OBJECT

public:
    fomSetup(settings::Settings& settings, QWidget* parent = nullptr);
    // With a font name cache of the caller's own; the other form uses the run's one cache.
    fomSetup(settings::Settings& settings, FontNameCache& fontNames, QWidget* parent = nullptr);

    // What "鍵一覧", "鍵削除" and "Shell" run; without one they do nothing.
    void setPgpCommand(PgpCommandHook hook);
    // The system beep for a bad typed font size; the tests listen through their own.
    void setBeep(std::function<void()> beep);

    // Shows page 0 "表示", 1 "文揃え", 2 "PGP関連" or 3 "その他" in the frame.
    void TabView(int page);

private slots:
    void optPage_Click(int Index);
    void cmdVersion_Click();
    void cmdExit_Click();
    void cmdCancel_Click();

private:
    void Form_Load();

    settings::Settings& m_settings;

    std::array<QPushButton*, 4> optPage{};
    QButtonGroup* m_pageGroup = nullptr;
    // The raised frame holding the four pages, one shown at a time.
    QStackedWidget* m_pages = nullptr;
    std::array<QWidget*, 4> picTabPage{};
    FontPage* m_fontPage = nullptr;
    FlowPage* m_flowPage = nullptr;
    PgpPage* m_pgpPage = nullptr;
    QCheckBox* chkConvMode = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdVersion = nullptr;
    QPushButton* cmdExit = nullptr;
};

} // namespace kestrova::setup
