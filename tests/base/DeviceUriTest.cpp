#include "base/DeviceUri.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceUriTest, PlainPathsStayReadableAndOthersRoundTrip) {
    EXPECT_EQ(qp::PortUriFromPath("/var/spool/quillpost/fax.ps"),
              "quillpost:/var/spool/quillpost/fax.ps");
    for (const std::string path : {"/var/spool/quill post/fax.ps", "/tmp/100%/fax.ps",
                                   "/tmp/caf\xc3\xa9/fax.ps", "/tmp/a#b?c/fax.ps"}) {
        const std::string uri = qp::PortUriFromPath(path);
        EXPECT_EQ(uri.find(' '), std::string::npos) << uri;
        EXPECT_EQ(qp::PortPathFromUri(uri), path) << uri;
    }
}

TEST(DeviceUriTest, RejectsWhatNamesNoAbsolutePortFile) {
    EXPECT_FALSE(qp::PortPathFromUri("file:/var/spool/quillpost/fax.ps"));
    EXPECT_FALSE(qp::PortPathFromUri("ipp://host/printers/Quill_Post"));
    EXPECT_FALSE(qp::PortPathFromUri("quillpost:"));
    EXPECT_FALSE(qp::PortPathFromUri("quillpost:fax.ps"));
    EXPECT_FALSE(qp::PortPathFromUri("quillpost:/tmp/fax%2"));
    EXPECT_FALSE(qp::PortPathFromUri("quillpost:/tmp/fax%zz.ps"));
    EXPECT_FALSE(qp::PortPathFromUri("quillpost:/tmp/fax.ps%00.png"));
}

} // namespace
