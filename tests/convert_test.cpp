#include "core/convert.h"

#include "tests/support/lumo_test.h"

namespace {

class ConvertTest : public LumoTest {};

TEST_F(ConvertTest, GrayLevelsFromEveryKind) {
    for (ImageKind kind : {ImageKind::BW, ImageKind::GRAY16, ImageKind::COLOR16, ImageKind::COLOR256, ImageKind::RGB}) {
        ImagePtr source = MakePatternImage(kind, 7, 5);
        ImagePtr gray = LumoToGRAY256(source.get());
        EXPECT_EQ(KindOf(*gray), ImageKind::GRAY256);
    }
}

}  // namespace
