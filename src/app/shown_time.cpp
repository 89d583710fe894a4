#include "app/shown_time.h"

#include "base/window_layer.h"

TimeBase DataWindowTimeBase() {
    WindowLayer& windows = Windows();
    return ShownTimeBase(windows.WindowExists(WindowId::Data) &&
                         windows.IsChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL));
}
