#pragma once

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace corvalin {

// The question box of Tag > File and File > Tag: one song or every song of the list. It cannot
// be cancelled (the bulk confirmation that follows can); however it closes, AllOrOne() is the
// index chosen: 0 "Change current file only", 1 "Change ALL files in list". Window thread.
class TfrmAllOrOne : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAllOrOne(QWidget* parent = nullptr);

    QGroupBox* rgAllOrOne = nullptr;
    QRadioButton* rbCurrentFile = nullptr;
    QRadioButton* rbAllFiles = nullptr;
    QPushButton* bOK = nullptr;

    int AllOrOne() const { return allOrOne_; }
    int selectedIndex() const;

public Q_SLOTS:
    void done(int result) override;

private:
    void FormClose();

    QButtonGroup* group_ = nullptr;
    int allOrOne_ = 0;
};

// Shows the box modally and returns the answer.
int AskAllOrOne(QWidget* parent);

} // namespace corvalin
