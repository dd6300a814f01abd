// The result viewer, fomView: a text shown read-only, to be read, selected and copied.
#pragma once

#include <QDialog>
#include <QString>

#include <string_view>

class QPlainTextEdit;
class QPushButton;

namespace kestrova::pgpui {

class fomView : public QDialog
{
    Q_OBJECT

public:
    explicit fomView(QWidget* parent = nullptr);

    // Shows text under title, modally, in the font face fontFace (the main text box's); returns
    // when the window has been closed.
    void View(std::u16string_view title, std::u16string_view text, const QString& fontFace);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cmdExit_Click();

private:
    friend class ViewTestAccess;

    // Every activation puts the font and the text in again.
    void Form_Activate();
    void Form_Resize();
    // Ctrl+A (1) selects everything, Ctrl+C (3) copies the selection; true: the key is used.
    bool txtView_KeyPress(int KeyAscii);

    QPlainTextEdit* txtView = nullptr;
    QPushButton* cmdExit = nullptr;
    QString m_text;
    QString m_fontFace;
};

} // namespace kestrova::pgpui
