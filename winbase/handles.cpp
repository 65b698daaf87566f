#include "winbase/handles.h"

#include <commctrl.h>

namespace quarnel::win {

void ImageListTraits::close(HIMAGELIST h) {
    ImageList_Destroy(h);
}

}  // namespace quarnel::win
