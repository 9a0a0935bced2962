// The slide-access layer without a component, and the conversion of property
// values to 32-bit integers that the Mirax reader relies on.
#include <gtest/gtest.h>

#include <vector>

#include "platform/slide_access.h"

namespace sa = vq::platform;

TEST(SlideAccess, WithoutAComponentNothingIsCreated) {
    sa::SlideAccessFactory* previous = sa::setSlideAccessFactory(nullptr);
    EXPECT_FALSE(sa::hasSlideAccessComponent());
    std::shared_ptr<sa::SlideObject> slide;
    std::unique_ptr<sa::SlideImage> image;
    EXPECT_EQ(sa::createSlideObject(&slide), sa::kSlideNoComponent);
    EXPECT_EQ(sa::createSlideImage(&image), sa::kSlideNoComponent);
    EXPECT_EQ(slide, nullptr);
    EXPECT_EQ(image, nullptr);
    sa::setSlideAccessFactory(previous);
}

TEST(SlideAccess, AFactoryThatReportsSuccessWithoutAnObjectFails) {
    struct Empty : sa::SlideAccessFactory {
        int32_t createSlide(std::shared_ptr<sa::SlideObject>*) override { return 0; }
        int32_t createImage(std::unique_ptr<sa::SlideImage>*) override { return 0; }
    } empty;
    sa::SlideAccessFactory* previous = sa::setSlideAccessFactory(&empty);
    EXPECT_TRUE(sa::hasSlideAccessComponent());
    std::shared_ptr<sa::SlideObject> slide;
    std::unique_ptr<sa::SlideImage> image;
    EXPECT_LT(sa::createSlideObject(&slide), 0);
    EXPECT_LT(sa::createSlideImage(&image), 0);
    EXPECT_EQ(sa::setSlideAccessFactory(previous), &empty);
}

TEST(SlideAccess, PropertyValuesToInt32) {
    using K = sa::SlidePropertyValue::Kind;
    struct Case {
        K kind;
        int64_t integer;
        double real;
        const char* text;
        bool converts;
        int32_t value;
    };
    const std::vector<Case> cases = {
        {K::Integer, 42, 0, "", true, 42},
        {K::Integer, -2147483648LL, 0, "", true, INT32_MIN},
        {K::Integer, 2147483647LL, 0, "", true, INT32_MAX},
        {K::Integer, 2147483648LL, 0, "", false, 0},
        {K::Integer, -2147483649LL, 0, "", false, 0},
        {K::Real, 0, 2.5, "", true, 2},
        {K::Real, 0, 3.5, "", true, 4},
        {K::Real, 0, -1.6, "", true, -2},
        {K::Real, 0, 2147483647.4, "", true, INT32_MAX},
        {K::Real, 0, 2147483647.6, "", false, 0},
        {K::Real, 0, 1.0 / 0.0, "", false, 0},
        {K::Text, 0, 0, "1234", true, 1234},
        {K::Text, 0, 0, " -17 ", true, -17},
        {K::Text, 0, 0, "12.5", true, 12},
        {K::Text, 0, 0, "12px", false, 0},
        {K::Text, 0, 0, "", false, 0},
        {K::Text, 0, 0, "99999999999", false, 0},
        {K::Empty, 0, 0, "", false, 0},
    };
    for (const Case& c : cases) {
        sa::SlidePropertyValue v;
        v.kind = c.kind;
        v.integer = c.integer;
        v.real = c.real;
        v.text = c.text;
        int32_t out = 0;
        const int32_t status = sa::slidePropertyToInt32(v, &out);
        SCOPED_TRACE(::testing::Message() << int(c.kind) << " " << c.integer << " " << c.real << " '" << c.text << "'");
        if (c.converts) {
            EXPECT_EQ(status, sa::kSlideOk);
            EXPECT_EQ(out, c.value);
        } else {
            EXPECT_EQ(status, sa::kSlideTypeMismatch);
        }
    }
}
