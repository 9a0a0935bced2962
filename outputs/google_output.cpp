#include "outputs/google_output.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"

namespace {

// Folder names may hold characters that XML text must not carry bare.
std::string escapeXml(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
    return out;
}

} // namespace

vq_google_output* vq_google_output::create()
{
    return new (std::nothrow) vq_google_output();
}

void vq_google_output::removeEarlierPyramid()
{
    removeTileFolders(
        outputFolder, [](const std::string& name) { return isNumberedName(name, "", 1, ""); },
        [](const std::string& name) { return isNumberedName(name, "", 2, ".jpg"); });
}

bool vq_google_output::setOutputPath(const std::string& path, const std::string&)
{
    outputFolder = createOutputFolder(path);
    if (!outputFolder.empty())
        removeEarlierPyramid();
    std::printf("Google tile output to folder name \"%s\"\n", outputFolder.c_str());
    return !errorFlag;
}

std::string vq_google_output::getOutputFolderName(vq_zoom_tile_base* tile, int32_t index)
{
    if (tile == nullptr) {
        std::fputs("NULL tile passed to vq_kestrix_output::getOutputFolderName\n", stderr);
        return outputFolder;
    }
    return outputFolder + "/" + std::to_string(index);
}

int32_t vq_google_output::getOutputFolderIndex(vq_zoom_tile_base* tile)
{
    return tile == nullptr ? 0 : tile->getLevel();
}

std::string vq_google_output::getTileFileName(vq_zoom_tile_base* tile)
{
    char name[48];
    std::snprintf(name, sizeof(name), "/%d-%d.jpg", tile->getX(), tile->getY());
    return name;
}

bool vq_google_output::finish()
{
    const bool complete = unwrittenTiles.empty();
    reportUnwrittenTiles();
    const bool written = writeKml() && complete;
    // Levels hold the output; letting them go here ends the cycle.
    baseLevel.reset();
    return written;
}

bool vq_google_output::writeKml()
{
    // The KML file goes beside the output folder, named after its last
    // component. Only "/" separates folders here; on Windows "\\" does too,
    // and the later of the two decides.
    size_t separator = outputFolder.rfind('/');
#ifdef _WIN32
    const size_t backslash = outputFolder.rfind('\\');
    if (backslash != std::string::npos && (separator == std::string::npos || backslash > separator))
        separator = backslash;
#endif
    if (separator == std::string::npos) {
        std::fprintf(stderr, "Failed to create KML file from path %s\n", outputFolder.c_str());
        return true;
    }
    if (baseLevel == nullptr) {
        reportError("Unable to write KML file as base layer is not set\n");
        return false;
    }

    const std::string name = outputFolder.substr(separator + 1);
    const std::string kmlPath = outputFolder.substr(0, separator) + "/" + name + ".kml";

    const IntPair size = baseLevel->getImageSize();
    const double w = size.first;
    const double h = size.second;
    double across = 36.0 * w / h;
    double down = 36.0;
    if (h < w) {
        across = 24.0 * w / h;
        down = 24.0;
    }
    const double pi = 3.141592653589793;
    const double a = std::atan(across / 100.0) * 180.0 / pi;
    const double b = std::atan(down / 100.0) * 180.0 / pi;

    FILE* file = std::fopen(kmlPath.c_str(), "wb");
    if (file == nullptr) {
        reportError(formatText("Unable to write %s\n", kmlPath));
        return false;
    }
    const char* nl = "\r\n";
    int status = 0;
    auto line = [&](const char* text) {
        if (std::fprintf(file, "%s%s", text, nl) < 0)
            status = -1;
    };
    auto lineWith = [&](const char* format, auto value) {
        char text[64];
        std::snprintf(text, sizeof(text), format, value);
        line(text);
    };
    line("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    line("<kml xmlns=\"http://www.opengis.net/kml/2.2\">");
    line("<Document>");
    line("<PhotoOverlay>");
    const std::string xmlName = escapeXml(name);
    line(("<name>" + xmlName + "</name>").c_str());
    line("<description>Test</description>");
    line("<Camera>");
    line("\t<longitude>-0.134721</longitude>");
    line("\t<latitude>51.522</latitude>");
    line("\t<altitude>100.37</altitude>");
    line("\t<heading>0</heading>");
    line("\t<tilt>90</tilt>");
    line("\t<roll>0</roll>");
    line("</Camera>");
    line("<Style>");
    line("\t<IconStyle>");
    line("\t\t<Icon>");
    line("\t\t\t<href>http://maps.google.com/mapfiles/kml/shapes/camera.png</href>");
    line("\t\t</Icon>");
    line("\t</IconStyle>");
    line("</Style>");
    line("<Icon>");
    line(("\t<href>" + xmlName + "/$[level]/$[x]-$[y].jpg</href>").c_str());
    line("</Icon>");
    line("<shape>rectangle</shape>");
    line("<ViewVolume>");
    line("\t<near>20.0</near>");
    lineWith("\t<leftFov>%f</leftFov>", -a);
    lineWith("\t<rightFov>%f</rightFov>", a);
    lineWith("\t<topFov>%f</topFov>", b);
    lineWith("\t<bottomFov>%f</bottomFov>", -b);
    line("</ViewVolume>");
    line("<roll>0</roll>");
    line("<ImagePyramid>");
    lineWith("<tileSize>%d</tileSize>", baseLevel->getTileSize().first);
    lineWith("<maxWidth>%d</maxWidth>", size.first);
    lineWith("<maxHeight>%d</maxHeight>", size.second);
    line("<gridOrigin>upperLeft</gridOrigin>");
    line("</ImagePyramid>");
    line("\t <Point>");
    line("\t\t\t<coordinates>-0.134721,51.522</coordinates>");
    line("\t</Point>");
    line("</PhotoOverlay>");
    line("</Document>");
    line("</kml>");
    if (std::fclose(file) != 0 || status != 0) {
        reportError(formatText("Unable to write %s\n", kmlPath));
        return false;
    }
    return true;
}
