#pragma once
// A folder's path: an edit with a browse button beside it. The button asks
// for a folder through the current Dialogs (opening at the edit's text) and
// puts the folder chosen into the edit; a cancelled request leaves it. The
// path may also be typed: nothing typed is checked.
//
// OnBeforeBrowse is asked before the folder is requested; false requests
// nothing (the owner may show why). Errors of the browse go to the general
// error display, like those of any click. Disabling the widget disables the
// edit and the button together.
//
// Threads: main thread only (a widget).

#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;
class QToolButton;

namespace zt {

class TFolderEdit : public QWidget {
public:
    explicit TFolderEdit(QWidget* parent = nullptr);

    std::string Text() const;
    void SetText(const std::string& text);

    // A click of the browse button.
    void Browse();

    std::function<bool()> OnBeforeBrowse;

    QLineEdit* Edit() const { return edit_; }
    QToolButton* BrowseButton() const { return browse_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* edit_ = nullptr;
    QToolButton* browse_ = nullptr;
};

}  // namespace zt
