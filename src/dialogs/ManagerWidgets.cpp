#include "ManagerWidgets.h"

#include "ManagerModel.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
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

TimeField::TimeField(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::NoButtons);
    setWrapping(true);
    showValue();
    connect(this, &QAbstractSpinBox::editingFinished, this, &TimeField::commit);
}

QTime TimeField::time() const {
    const std::optional<QTime> typed = parseTypedTime(lineEdit()->text());
    if (!typed || (typed->hour() == value_.hour() && typed->minute() == value_.minute()))
        return value_;
    return *typed;
}

void TimeField::setTime(const QTime& time) {
    if (!time.isValid())
        return;
    const bool changed = time != value_;
    value_ = time;
    showValue();
    if (changed)
        Q_EMIT timeChanged(value_);
}

void TimeField::showValue() {
    lineEdit()->setText(value_.toString(displayFormat()));
}

void TimeField::commit() {
    setTime(time());
    showValue(); // also when what was typed is no time
}

void TimeField::stepBy(int steps) {
    QLineEdit* edit = lineEdit();
    const int at = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    commit(); // the arrows act on a time just typed
    // "hh:mm AP": the hour up to its colon, the minutes up to the blank, then AM/PM.
    int start = 0;
    int seconds = 3600;
    if (at > 5) {
        start = 6;
        seconds = 12 * 3600;
    } else if (at > 2) {
        start = 3;
        seconds = 60;
    }
    setTime(value_.addSecs(seconds * steps)); // wraps around midnight
    edit->setSelection(start, 2);
}

QAbstractSpinBox::StepEnabled TimeField::stepEnabled() const {
    return StepUpEnabled | StepDownEnabled;
}

QValidator::State TimeField::validate(QString& input, int&) const {
    if (parseTypedTime(input))
        return QValidator::Acceptable;
    static const QRegularExpression partial(QStringLiteral("^[0-9:. apmAPM]{0,12}$"));
    return partial.match(input).hasMatch() ? QValidator::Intermediate : QValidator::Invalid;
}

void TimeField::fixup(QString& input) const {
    if (!parseTypedTime(input))
        input = value_.toString(displayFormat());
}

void TimeField::keyPressEvent(QKeyEvent* event) {
    // The first character typed while the field shows its time starts a new one, wherever the
    // cursor is: the operator types a time over the field.
    QLineEdit* edit = lineEdit();
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !edit->hasSelectedText() &&
        edit->text() == value_.toString(displayFormat()))
        edit->selectAll();
    QAbstractSpinBox::keyPressEvent(event);
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
