#include "engine/pyramid/vq_zoomoutput.h"

void vq_zoomoutput_base::setScanInfo(double magnificationValue, double micronsPerPixelValue) {
    magnification = magnificationValue;
    micronsPerPixel = micronsPerPixelValue;
}
