#include "ui/rg_form.h"

#include <QPointer>

#include "ui/kit_windows.h"
#include "ui/skin_pictures.h"

namespace velmora::ui {

TRGForm::TRGForm(QWidget* parent)
    : QWidget(parent), imgBG_(skin::BackgroundPicture(skin::kBackgroundSize)),
      imgWinStatus_(skin::StatusFramePicture(skin::kStatusSize)),
      imgWinStatus2_(skin::StatusFramePicture(skin::kStatus2Size)),
      imgButOff_(skin::ButtonFacePicture(false)), imgButOn_(skin::ButtonFacePicture(true)) {}

void TRGForm::setVisible(bool) {
    QWidget::setVisible(false);
}

TRGForm& RGForm() {
    static QPointer<TRGForm> instance;
    if (instance.isNull()) {
        instance = new TRGForm;
        DeleteAtQuit(instance);
    }
    return *instance;
}

} // namespace velmora::ui
