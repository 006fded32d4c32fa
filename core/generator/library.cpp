#include "generator/library.h"

#include "model/codeobject.h"

namespace kivo {

namespace {

const LibraryFile kBitmap{340, "bitmap2.bmp"};
const LibraryFile kVgaDriver{343, "VGA_SimpleDriver1a.spin2"};
const LibraryFile kI2cDriver{346, "zd_i2c_kqv2.spin2"};
const LibraryFile kPixelDriver{348, "zd_rgbx_pixel_kqv.spin2"};
const LibraryFile kRtcHeader{352, "rtc.h"};
const LibraryFile kSoundFiles[] = {
    {353, "SimpleSound.spin2"},       {354, "space_sample2_S8.raw"}, {355, "space_sample1_S8.raw"},
    {356, "platform_sample3_S8.raw"}, {357, "platform_sample1_S8.raw"}, {358, "pyr.mod"},
    {359, "reSound.spin2"},           {360, "trackerPlayer.spin2"},
};
const LibraryFile kServoDriver{361, "zd_servo.spin2"};
const LibraryFile kAdcHeader{362, "adc.h"};
const LibraryFile kUsbDriver{363, "1CogKbM_kqv3b.spin2"};
const LibraryFile kUsbDriverNoErrorLed{364, "1CogKbM_kqv3b_NoErrorLed.spin2"};

} // namespace

std::vector<LibraryFile> LibraryFilesFor(const CCodeObject &o)
{
    switch (o.m_nKind) {
    case kSimpleVGA:
        return {kBitmap, kVgaDriver};
    case kI2CBus:
        return {kI2cDriver};
    case kNeopixel:
        return {kPixelDriver};
    case kRTC:
        return {kRtcHeader};
    case kSimpleSound:
        return {std::begin(kSoundFiles), std::end(kSoundFiles)};
    case kServo:
        return {kServoDriver};
    case kADC:
        return {kAdcHeader};
    case kUsbKbm:
        return {o.m_bFlag[3] ? kUsbDriverNoErrorLed : kUsbDriver};
    default:
        return {};
    }
}

const std::vector<LibraryFile> &AllLibraryFiles()
{
    static const std::vector<LibraryFile> all = [] {
        std::vector<LibraryFile> v{kBitmap, kVgaDriver, kI2cDriver, kPixelDriver, kRtcHeader};
        v.insert(v.end(), std::begin(kSoundFiles), std::end(kSoundFiles));
        v.insert(v.end(), {kServoDriver, kAdcHeader, kUsbDriver, kUsbDriverNoErrorLed});
        return v;
    }();
    return all;
}

} // namespace kivo
