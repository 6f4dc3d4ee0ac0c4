#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace corvalin {

// The single-phrase box of the phrase editor: one text, OK and Cancel. Enter presses OK, so a
// phrase is one line as typed; a pasted line break is turned into a blank on OK. Window thread
// only.
class TfrmPhraseEdit : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPhraseEdit(QWidget* parent = nullptr);

    // The text handed in and, after OK, the box's text made fit to store (CleanPhrase).
    QString EditedPhrase;

    // Shows `text` in the box.
    void setPhrase(const QString& text);

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;

    void bOKClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
};

} // namespace corvalin
