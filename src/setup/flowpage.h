// Page 1 of the settings dialog, "文揃え": the column count, the quote marks, joining of the
// next line, the note after a re-flowed quotation and the line-break rules.
#pragma once

#include "settings/settingsfile.h"

#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace kestrova::setup {

class FlowPage : public QWidget
{
    Q_OBJECT

public:
    explicit FlowPage(QWidget* parent);

    void load(const settings::Settings& settings);
    // Columns (below 1: 1; no number in the 16-bit range: unchanged), Inyofu without the
    // blanks around it, Kinsoku, EnterMes as typed, ChgMode (unchanged when none selected).
    void store(settings::Settings& settings) const;

private:
    QLineEdit* txtColumns = nullptr;
    QLineEdit* txtInyoWords = nullptr;
    std::array<QRadioButton*, 3> optChgMode{};
    QButtonGroup* m_chgModeGroup = nullptr;
    QLineEdit* txtEnterMes = nullptr;
    QCheckBox* chkKinsoku = nullptr;
};

} // namespace kestrova::setup
