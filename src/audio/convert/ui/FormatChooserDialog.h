#pragma once
// The codec format chooser as a Qt dialog: a list of formats (the codecs),
// a list of the chosen codec's attributes ("8,000 kHz, Mono, 1 KB/s"), the
// title the caller passes, OK and Cancel. It starts on the caller's format
// when that is offered, else on its codec, else on the first entry.
//
// Threads: main thread only.

#include <QDialog>

#include "audio/convert/FormatChooser.h"

class QComboBox;
class QDialogButtonBox;

namespace zt {

class TFormatChooserDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFormatChooserDialog(const FormatChoiceRequest& request, QWidget* parent = nullptr);

    QComboBox* FormatList() const { return formats_; }
    QComboBox* AttributeList() const { return attributes_; }
    QDialogButtonBox* Buttons() const { return buttons_; }
    // A copy of the selected format, or null when nothing is selected.
    WaveFormatPtr Selected() const;

private:
    void FillAttributes(int tagIndex);

    const FormatChoiceRequest& request_;
    QComboBox* formats_ = nullptr;
    QComboBox* attributes_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

// The program's chooser: shows TFormatChooserDialog modally.
class QtFormatChooser final : public FormatChooser {
public:
    WaveFormatPtr Choose(const FormatChoiceRequest& request) override;
};

}  // namespace zt
