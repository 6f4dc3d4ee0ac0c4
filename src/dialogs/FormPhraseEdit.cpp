#include "dialogs/FormPhraseEdit.h"

#include "dialogs/PhraseSetEditor.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace corvalin {

TfrmPhraseEdit::TfrmPhraseEdit(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmPhraseEdit"));
    setWindowTitle(QStringLiteral("Edit Phrase"));
    setFixedSize(420, 132);
    setModal(true);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(10, 10, 400, 70);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    Memo1->installEventFilter(this);

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setGeometry(230, 92, 84, 28);
    bOK->setDefault(true);
    connect(bOK, &QPushButton::clicked, this, &TfrmPhraseEdit::bOKClick);

    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(326, 92, 84, 28);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
}

void TfrmPhraseEdit::FormCreate() {
    Memo1->clear();
}

void TfrmPhraseEdit::setPhrase(const QString& text) {
    Memo1->setPlainText(text);
    Memo1->moveCursor(QTextCursor::End);
}

void TfrmPhraseEdit::bOKClick() {
    EditedPhrase = CleanPhrase(Memo1->toPlainText());
    accept();
}

bool TfrmPhraseEdit::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the text presses OK instead of starting a new line (Shift and Ctrl too).
    if (watched == Memo1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            bOKClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace corvalin
