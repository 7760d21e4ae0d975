#include "main_window/qt/picture_loader.h"
