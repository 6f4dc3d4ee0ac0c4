#pragma once

#include <QAbstractSpinBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTime>
#include <QWidget>
#include <vector>

class QButtonGroup;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace corvalin {

// Small controls of the Radio Manager that Qt has no direct match for. Window thread only.

// "\r\n" and "\r" of a caption or hint as the line breaks Qt shows.
QString withLineBreaks(const QString& text);

// A group of radio buttons with one selected item, stacked top to bottom.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

    // -1 when none is selected. An index that is no item selects nothing and returns false.
    int itemIndex() const;
    bool setItemIndex(int index);
    QRadioButton* item(int index) const;
    int count() const { return static_cast<int>(buttons_.size()); }

private:
    QButtonGroup* group_ = nullptr;
    std::vector<QRadioButton*> buttons_;
};

// A file name box with a browse button that opens a file-open dialog.
class FileNameEdit : public QWidget {
    Q_OBJECT
public:
    FileNameEdit(QString dialogTitle, QString filter, QWidget* parent = nullptr);

    QString fileName() const;
    void setFileName(const QString& name);
    QLineEdit* edit() const { return edit_; }
    QToolButton* browseButton() const { return browse_; }

    // Opens the file-open dialog at the box's folder; a chosen file goes into the box.
    void browse();

private:
    QString dialogTitle_;
    QString filter_;
    QLineEdit* edit_ = nullptr;
    QToolButton* browse_ = nullptr;
};

// A time-of-day field shown as "hh:mm AP". It takes a time typed over it, 12- or 24-hour, with or
// without AM/PM ("11:50 AM", "7:05 pm", "19:05"), when editing ends (Enter, leaving the field);
// a text that is no time is put back. The arrow keys step the part under the cursor: the hour, the
// minutes or AM/PM. Typing while the field shows its time replaces the whole text.
class TimeField : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TimeField(QWidget* parent = nullptr);

    // What the field holds, a time typed and not yet finished included. A typed time keeps the
    // seconds of the one shown when its hour and minute are the same, else has none.
    QTime time() const;
    // An invalid time is ignored.
    void setTime(const QTime& time);
    static QString displayFormat() { return QStringLiteral("hh:mm AP"); }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

Q_SIGNALS:
    void timeChanged(const QTime& time);

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Takes the typed time, or puts the shown one back.
    void commit();
    void showValue();

    QTime value_{0, 0};
};

// The memo of the public service announcement: word wrap, a vertical scroll bar, and Enter does
// not start a new line but reaches the dialog, which presses its default button.
class AnnouncementMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit AnnouncementMemo(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace corvalin
