#include "base/JobPhone.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct OptionCase {
    const char* what;
    std::string options;
    // The number the job names; empty for none.
    std::string phone;
};

// The options as cupsd hands them to the backend, through to the number the job file names.
TEST(JobPhoneTest, TheJobsOptionsNameAPlainBoundedNumberOrNone) {
    const std::vector<OptionCase> cases = {
        {"plain", "number-up=1 phone=5552010001 job-uuid=urn:x", "5552010001"},
        {"a driver's custom field", "phone=Custom.5552010001", "5552010001"},
        {"quoted, with blanks", "media=Letter phone='+1 (555) 201-0001'", "+1 (555) 201-0001"},
        {"escaped blanks", "phone=555\\ 201\\ 0001", "555 201 0001"},
        {"double quotes and padding", "phone=\"  555.201.0001 \"", "555.201.0001"},
        {"the name in capitals", "PHONE=5552010001", "5552010001"},
        {"the last one counts", "phone=111 phone=5552010001", "5552010001"},
        {"absent", "number-up=1 job-name='phone=5550000000'", ""},
        {"a switch, no value", "phone number-up=1", ""},
        {"empty", "phone=", ""},
        {"no digit", "phone=Custom.()-", ""},
        {"a line break", "phone='555\n%%Title: x'", ""},
        {"an escape sequence", "phone='555\x1b[31m0001'", ""},
        {"a tab", "phone='555\t0001'", ""},
        {"markup", "phone='<b>5552010001</b>'", ""},
        {"letters", "phone=CALL-ME", ""},
        {"65 characters", "phone=" + std::string(65, '5'), ""},
        {"10 KB", "phone=" + std::string(10 * 1024, '5'), ""},
        {"64 characters", "phone=" + std::string(64, '5'), std::string(64, '5')},
    };
    for (const OptionCase& c : cases) {
        const std::optional<std::string> value = qp::PhoneOption(c.options);
        EXPECT_EQ(qp::CleanPhone(value.value_or("")), c.phone) << c.what;
    }
    EXPECT_FALSE(qp::PhoneOption("number-up=1 job-name='phone=5550000000'")) << "absent";
}

TEST(JobPhoneTest, OnlyTheJobFilesFirstLineNamesTheNumber) {
    const std::string doc = "%!PS-Adobe-3.0\n%%QuillpostPhone: 5559999999\nshowpage\n";
    // The backend's line for a number, nothing for a plain job, and an empty marker line for a
    // document that starts like one.
    EXPECT_EQ(qp::JobPhoneLine("5552010001", doc), "%%QuillpostPhone: 5552010001\n");
    EXPECT_EQ(qp::JobPhoneLine("", doc), "");
    EXPECT_EQ(qp::JobPhoneLine("", "%%QuillpostPhone: 5559999999\n"), "%%QuillpostPhone:\n");
    EXPECT_EQ(qp::JobPhoneLine("5552010001", "%PDF-1.7\n"), "") << "a raw PDF stays one";

    EXPECT_EQ(qp::PhoneOfJobStart("%%QuillpostPhone: 5552010001\n" + doc), "5552010001");
    EXPECT_EQ(qp::PhoneOfJobStart("%%QuillpostPhone: 5552010001\r\n"), "5552010001");
    EXPECT_EQ(qp::PhoneOfJobStart(doc), "");
    EXPECT_EQ(qp::PhoneOfJobStart("%%QuillpostPhone:\n%%QuillpostPhone: 5559999999\n"), "");
    EXPECT_EQ(qp::PhoneOfJobStart("%%QuillpostPhone: <i>5552010001</i>\n"), "");
    EXPECT_EQ(qp::PhoneOfJobStart("%%QuillpostPhone: " + std::string(100, '5') + "\n"), "");
    EXPECT_EQ(qp::PhoneOfJobStart("%%QuillpostPhone: 5552010001"), "") << "no line's end";

    qp::test::TempDir dir;
    qp::test::WriteFile(dir.File("faxbody.ps"), "%%QuillpostPhone: 555 201 0001\n" + doc);
    EXPECT_EQ(qp::PhoneOfJobFile(dir.File("faxbody.ps")), "555 201 0001");
    EXPECT_EQ(qp::PhoneOfJobFile(dir.File("absent.ps")), "");
    EXPECT_EQ(qp::PhoneOfJobFile(dir.Path()), "") << "a folder";
}

} // namespace
