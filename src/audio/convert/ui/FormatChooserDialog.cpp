#include "audio/convert/ui/FormatChooserDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace zt {

TFormatChooserDialog::TFormatChooserDialog(const FormatChoiceRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
    setObjectName("FormatChooser");
    setWindowTitle(QString::fromStdString(request.title));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    formats_ = new QComboBox(this);
    formats_->setObjectName("CBFormato");
    attributes_ = new QComboBox(this);
    attributes_->setObjectName("CBAtributos");
    form->addRow(QString::fromUtf8("&Formato:"), formats_);
    form->addRow(QString::fromUtf8("&Atributos:"), attributes_);
    layout->addLayout(form);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (const FormatChoiceTag& tag : request.tags)
        formats_->addItem(QString::fromStdString(tag.name));
    connect(formats_, &QComboBox::currentIndexChanged, this,
            [this](int index) { FillAttributes(index); });

    // Start on the caller's format, else on its codec, else on the first.
    int tagIndex = 0, attributeIndex = 0;
    if (const WAVEFORMATEX* initial = request.initial) {
        for (size_t t = 0; t < request.tags.size(); ++t) {
            if (request.tags[t].tag != initial->wFormatTag) continue;
            tagIndex = static_cast<int>(t);
            const auto& formats = request.tags[t].formats;
            for (size_t f = 0; f < formats.size(); ++f)
                if (!WaveFormatsDiffer(formats[f].get(), initial))
                    attributeIndex = static_cast<int>(f);
            break;
        }
    }
    formats_->setCurrentIndex(request.tags.empty() ? -1 : tagIndex);
    FillAttributes(formats_->currentIndex());
    if (attributes_->count() > attributeIndex) attributes_->setCurrentIndex(attributeIndex);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!request.tags.empty());
}

void TFormatChooserDialog::FillAttributes(int tagIndex) {
    attributes_->clear();
    if (tagIndex < 0 || tagIndex >= static_cast<int>(request_.tags.size())) return;
    const std::string point = QLocale().decimalPoint().toStdString();
    for (const WaveFormatPtr& format : request_.tags[tagIndex].formats)
        attributes_->addItem(QString::fromStdString(FormatAttributesText(*format, point)));
}

WaveFormatPtr TFormatChooserDialog::Selected() const {
    const int t = formats_->currentIndex(), f = attributes_->currentIndex();
    if (t < 0 || t >= static_cast<int>(request_.tags.size())) return nullptr;
    const auto& formats = request_.tags[t].formats;
    if (f < 0 || f >= static_cast<int>(formats.size())) return nullptr;
    return CopyWaveFormat(formats[f].get());
}

WaveFormatPtr QtFormatChooser::Choose(const FormatChoiceRequest& request) {
    TFormatChooserDialog dialog(request, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return nullptr;
    return dialog.Selected();
}

}  // namespace zt
