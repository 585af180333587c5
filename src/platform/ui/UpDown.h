#pragma once
// Two arrow buttons beside an edit that step the edit's number by one
// within a range. The edit stays free text: nothing typed into it is
// checked or corrected; an arrow starts from the number the edit holds
// (limited to the range), or from the last position when the edit holds
// no number, and writes the new number back into it.
//
// Before each step OnChanging is asked; false leaves the edit as it is
// (the owner may show why). Errors of OnChanging or of the step go to the
// general error display, like those of any click.
//
// Threads: main thread only (a widget).

#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace zt {

class TUpDown : public QWidget {
public:
    explicit TUpDown(QWidget* parent = nullptr);

    // The edit the arrows step; it receives the position at once.
    void SetAssociate(QLineEdit* edit);
    QLineEdit* Associate() const { return associate_; }

    // Min <= Max; the position is limited to the new range.
    void SetRange(int min, int max);
    int Min() const { return min_; }
    int Max() const { return max_; }
    // The last number an arrow wrote (or set here), limited to the range.
    int Position() const { return position_; }
    void SetPosition(int position);

    // One click of the up (+1) or down (-1) arrow.
    void Step(int delta);

    std::function<bool()> OnChanging;

    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowPosition();

    QLineEdit* associate_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};

}  // namespace zt
