// Page 0 of the settings dialog, "表示": the font name and size and a sample in that font.
#pragma once

#include "settings/settingsfile.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class QComboBox;
class QPlainTextEdit;

namespace kestrova::setup {

// The screen's font names and the count they were taken at. It outlives every dialog and is
// read again only when the screen's font count changes.
struct FontNameCache
{
    int count = 0;
    QStringList names;
};

// The run's one cache, shared by every opening of the dialog.
[[nodiscard]] FontNameCache& programFontNameCache();

// The sample's five lines after the heading line: each group between bars is ten half-width or
// five full-width characters, so the bars line up in a font whose full-width characters are
// exactly twice as wide as its half-width ones.
inline constexpr const char16_t* kSampleLines[] = {
    u"1122334455|6677889900|1122334455|",
    u"１２３４５|６７８９０|１２３４５|",
    u"AABBCCDDEE|FFGGHHIIJJ|KKLLMMNNOO|",
    u"ＡＢＣＤＥ|ＦＧＨＩＪ|ＫＬＭＮＯ|",
};

class FontPage : public QWidget
{
    Q_OBJECT

public:
    FontPage(FontNameCache& cache, QWidget* parent);

    // The system beep for a bad typed size; the tests hear it through their own function.
    void setBeep(std::function<void()> beep);

    // Opening steps: FontNameSet, FontSizeSet, FontView.
    void load(const settings::Settings& settings);
    // Confirming: FontName from the name box, and FontSize when the size box holds 1..1000.
    void store(settings::Settings& settings) const;

    // Fills the name list from the cache (refreshed first when the screen's font count
    // changed) and selects the entry equal to nm; none equal: no selection, empty text.
    void FontNameSet(const QString& nm);
    // Fills the 16 sizes and selects sz, or types it when the list has no such entry.
    void FontSizeSet(int sz);
    // The sample in the two boxes' font, when both hold a text.
    void FontView();

private slots:
    void cboFontName_Click();
    void cboFontSize_Click();
    void cboFontSize_Change();

private:
    FontNameCache& m_cache;
    std::function<void()> m_beep;

    QComboBox* cboFontName = nullptr;
    QComboBox* cboFontSize = nullptr;
    QPlainTextEdit* txtFontSample = nullptr;
};

} // namespace kestrova::setup
