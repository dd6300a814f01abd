// The ruler as assistive technology sees it: a slider named "桁数" whose value is Columns.
#pragma once

namespace kestrova::ruler {

// Makes every ColumnRuler a slider with the name "桁数" and the column count as its value;
// setting the value sets the column count as a drop of the handle does. Once per process;
// later calls change nothing.
void registerRulerAccessibility();

} // namespace kestrova::ruler
