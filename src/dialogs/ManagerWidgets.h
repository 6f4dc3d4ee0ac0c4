#pragma once

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QStringList>
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
