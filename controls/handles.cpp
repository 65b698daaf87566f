#include "controls/handles.h"

#include <commctrl.h>

namespace quarnel::ui {

void ImageListTraits::close(HIMAGELIST h) {
    ImageList_Destroy(h);
}

}  // namespace quarnel::ui
