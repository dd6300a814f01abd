// The column ruler above the text box: its scale, the handle that stands on Columns and sets
// it by dragging or double-clicking, and its scrolling in step with the text box.
#pragma once

#include "platform/twips.h"

#include <QFont>
#include <QFrame>
#include <QPointer>
#include <QString>

#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kestrova::ruler {

// picGage itself: the sunken strip that holds the scrolling strip picGageScrl with the scale
// label lblGage and the handle cmdGage. Positions handed in and out are in twips.
class ColumnRuler : public QFrame
{
    Q_OBJECT

public:
    // The ruler lines its scale up with the first column of textBox.
    ColumnRuler(QPlainTextEdit* textBox, QWidget* parent);

    // Fills the scale: 1000 characters, a digit every tenth, "+" every fifth.
    void GageInit();
    // The font the scale is drawn and measured in: the text box's.
    void setScaleFont(const QFont& font);
    [[nodiscard]] const QFont& scaleFont() const { return m_scaleFont; }

    // Where the strip stands in its parent; its height follows the scale.
    void setTwipRect(const platform::TwipRect& rect);
    void setTwipWidth(int width);
    [[nodiscard]] const platform::TwipRect& twipRect() const { return m_picGageRect; }

    // Sizes the strips to the scale and puts the handle on the columns-th scale character; no
    // scale character stands below column 1, so a smaller count is shown as 1.
    void GageResize(int columns);
    // Follows the text box's horizontal scroll position.
    void GageScrl();
    // The column whose scale character lies under x, twips from the scale's left edge: the
    // first whose prefix is wider than x; 1001 past the scale's end, 1 left of it.
    [[nodiscard]] int LeftToColumns(int x);

    // From hook() to unhook() the ruler follows every repaint and horizontal scroll of the box.
    void hook();
    void unhook();

    [[nodiscard]] QWidget* scrollingStrip() const { return picGageScrl; }
    [[nodiscard]] QPushButton* handle() const { return cmdGage; }
    [[nodiscard]] QLabel* scale() const { return lblGage; }
    [[nodiscard]] const platform::TwipRect& scrollingRect() const { return m_picGageScrlRect; }
    [[nodiscard]] const platform::TwipRect& handleRect() const { return m_cmdGageRect; }
    [[nodiscard]] bool dragging() const { return GageDragging; }

    // What a screen reader says of the ruler: its name, then Columns as its value.
    static inline const QString kAccessibleName = QStringLiteral("桁数");
    static inline const QString kAccessibleDescription = QStringLiteral(
        "1 行の最大の桁数。つまみをドラッグするか、目盛りをダブルクリックして変えます");
    // The column count the handle stands on since the last GageResize.
    [[nodiscard]] int columns() const { return m_columns; }
    // Chooses columns as a drop of the handle on it does.
    void chooseColumns(int columns);

signals:
    // The user dropped the handle or double-clicked the scale on this column.
    void columnsChosen(int columns);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // button: the buttons the event is about (1 left, 2 right, 4 middle); x: twips from the
    // control's left edge. They act only on the left button alone.
    void cmdGage_MouseDown(int button, double x);
    void cmdGage_MouseMove(int button, double x);
    void cmdGage_MouseUp(int button, double x);
    void lblGage_MouseDown(int button, double x);
    void lblGage_DblClick();
    [[nodiscard]] bool mouseEvent(QObject* watched, QEvent* event);
    void placeGageScrl();
    [[nodiscard]] int textOriginPixels() const;
    [[nodiscard]] int textWidthTwips(const QString& text) const;

    QPointer<QPlainTextEdit> m_textBox;
    QWidget* picGageScrl = nullptr;
    QPushButton* cmdGage = nullptr;
    QLabel* lblGage = nullptr;

    platform::TwipRect m_picGageRect;
    platform::TwipRect m_picGageScrlRect;
    platform::TwipRect m_cmdGageRect;
    QFont m_scaleFont;
    bool m_hooked = false;
    int m_columns = 0;

    // The drag state.
    bool GageDragging = false;
    int GageGrabX = 0;  // twips from the handle's left edge
    int GageClickX = 0; // twips from the scale label's left edge
    // Widths in twips of the scale's first 1, 2, … characters in m_gageWidthsFont, each the
    // widest of the prefixes up to it, so that a binary search finds the first prefix wider
    // than a position even if a font's advances were not all positive.
    std::vector<int> m_gageWidths;
    QString m_gageWidthsFont;
};

} // namespace kestrova::ruler
