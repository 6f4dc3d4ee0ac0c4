#include "ManagerWidgets.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvalin {

QString withLineBreaks(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 4, 6, 4);
    layout->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        group_->addButton(b, i);
        layout->addWidget(b);
        buttons_.push_back(b);
    }
}

int RadioGroup::itemIndex() const {
    return group_->checkedId();
}

bool RadioGroup::setItemIndex(int index) {
    QRadioButton* b = item(index);
    if (!b)
        return false;
    b->setChecked(true);
    return true;
}

QRadioButton* RadioGroup::item(int index) const {
    return index >= 0 && index < count() ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

FileNameEdit::FileNameEdit(QString dialogTitle, QString filter, QWidget* parent)
    : QWidget(parent), dialogTitle_(std::move(dialogTitle)), filter_(std::move(filter)),
      edit_(new QLineEdit(this)), browse_(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(edit_);
    layout->addWidget(browse_);
    browse_->setText(QStringLiteral("..."));
    browse_->setFocusPolicy(Qt::NoFocus);
    connect(browse_, &QToolButton::clicked, this, &FileNameEdit::browse);
}

QString FileNameEdit::fileName() const {
    return edit_->text();
}

void FileNameEdit::setFileName(const QString& name) {
    edit_->setText(name);
}

void FileNameEdit::browse() {
    // Qt's own dialog: the same on every desktop, and it can be driven offscreen.
    QFileDialog dialog(this, dialogTitle_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(filter_);
    const QFileInfo current(fileName());
    if (!fileName().isEmpty()) {
        dialog.setDirectory(current.absolutePath());
        dialog.selectFile(current.fileName());
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        setFileName(dialog.selectedFiles().constFirst());
}

AnnouncementMemo::AnnouncementMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
}

void AnnouncementMemo::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore(); // the dialog presses its default button
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace corvalin
