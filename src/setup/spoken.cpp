#include "setup/spoken.h"

#include <QString>
#include <QWidget>

namespace kestrova::setup {

namespace {

struct Spoken
{
    const char16_t* control;     // the control's object name
    const char16_t* name;        // nullptr: the caption or the label beside it says it
    const char16_t* description; // what it does
};

constexpr Spoken kSpoken[] = {
    {u"optPage(0)", nullptr, u"フォントの設定のページを開きます"},
    {u"optPage(1)", nullptr, u"桁数、引用符、次行接続、禁則の設定のページを開きます"},
    {u"optPage(2)", nullptr, u"PGP の設定のページを開きます"},
    {u"optPage(3)", nullptr, u"自動コード変換の設定のページを開きます"},
    {u"pageFrame", u"設定のページ", u"選んだページの設定が並ぶ枠"},
    {u"cmdCancel", nullptr, u"変更を捨てて閉じます"},
    {u"cmdVersion", nullptr, u"Kestrova のバージョン情報を表示します"},
    {u"cmdExit", nullptr, u"変更を残して閉じます"},
    {u"cboFontName", nullptr, u"本文とルーラーのフォント"},
    {u"cboFontSize", nullptr, u"フォントの大きさ（ポイント）"},
    {u"txtFontSample", u"フォントの見本", u"選んだフォントとサイズで書いた見本"},
    {u"txtColumns", nullptr, u"1 行の最大の桁数。全角文字は 2 桁です"},
    {u"txtInyoWords", nullptr, u"行の先頭にあるとき引用記号とみなす文字。最初の文字で引用します"},
    {u"txtEnterMes", nullptr, u"引用の改行位置を変えたとき、その後に加える注釈"},
    {u"chkKinsoku", nullptr, u"句読点などを行頭に置かず、英単語や括弧の中を分けません"},
    {u"optChgMode(0)", nullptr, u"行の残りを次の行とつなぎません"},
    {u"optChgMode(1)", nullptr, u"引用の行だけ、残りを次の行とつなぎます"},
    {u"optChgMode(2)", nullptr, u"行の残りを次の行とつなぎます"},
    {u"chkPGP_Flg", nullptr, u"PGP のボタンを表示します"},
    {u"optPgpVer(0)", nullptr, u"PGP 2.6.3i のやり方で GnuPG を使います"},
    {u"optPgpVer(1)", nullptr, u"PGP 5.5.3i 以降の PGPtray を使います"},
    {u"optPgpVer(2)", nullptr, u"PGP 6.5.1i 以降の PGPtray を使います"},
    {u"chkPGPEncryptMode", nullptr, u"暗号化するとき、署名もします"},
    {u"chkJisConv", nullptr, u"PGP に渡す文章を JIS コード（ISO-2022-JP）にします"},
    {u"txtPgpPath", nullptr, u"鍵束のフォルダー（GnuPG のホーム）。空なら gpg の既定"},
    {u"cmdPgpPath", u"PGPPATH のフォルダーを選ぶ", u"鍵束のフォルダーを選ぶ画面を開きます"},
    {u"txtTimeZone", nullptr, u"PGP に渡すタイムゾーン（TZ）"},
    {u"txtUserId", nullptr, u"署名に使う鍵のユーザー ID。空なら gpg の既定の鍵"},
    {u"txtPassPhrase", nullptr, u"保存するパスフレーズ。暗号化されず、かき混ぜるだけです"},
    {u"txtEnvSize", nullptr, u"バッチファイルの環境変数の領域の大きさ"},
    {u"cmdPGPKeyView", nullptr, u"鍵束の鍵の一覧を表示します"},
    {u"cmdPGPKeyRemove", nullptr, u"鍵束から鍵を削除します"},
    {u"cmdPGPCommand", u"端末", u"この鍵束で gpg を使える端末を開きます"},
    {u"chkPGPViewMini", nullptr, u"PGP のウィンドウを前面に出します"},
    {u"chkConvMode", nullptr, u"クリップボードの JIS や EUC の文章を自動で変換します"},
};

} // namespace

void describeControls(QWidget* dialog)
{
    for (const Spoken& spoken : kSpoken) {
        auto* control = dialog->findChild<QWidget*>(QString::fromUtf16(spoken.control));
        if (control == nullptr)
            continue; // a control this build of the dialog does not have
        if (spoken.name != nullptr)
            control->setAccessibleName(QString::fromUtf16(spoken.name));
        control->setAccessibleDescription(QString::fromUtf16(spoken.description));
    }
}

} // namespace kestrova::setup
