// velmor-dump diff over a real file, itself, and a copy that pydicom changed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/common/test_temp_dir.h"

namespace {

const std::string ct_small = std::string(VELMOR_PYDICOM_FILES) + "/CT_small.dcm";

struct DiffRun {
    int status = -1;
    std::string out;
};

DiffRun run_diff(const std::string& args)
{
    const std::string out = test_temp_path("out.txt");
    const std::string command = std::string("'") + VELMOR_DUMP + "' diff " + args + " >'" + out + "' 2>/dev/null";
    DiffRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    run.out = text.str();
    return run;
}

// CT_small.dcm with its patient name, the second Other Patient ID and the
// private (0011,1010) changed by pydicom.
std::string changed_copy()
{
    const std::string copy = test_temp_path("changed.dcm");
    const std::string script = test_temp_path("change.py");
    std::ofstream(script) << "import sys, pydicom\n"
                             "ds = pydicom.dcmread(sys.argv[1])\n"
                             "ds.PatientName = 'Changed^Name'\n"
                             "ds.OtherPatientIDsSequence[1].PatientID = 'CHANGED1'\n"
                             "ds[0x0011, 0x1010].value = 7\n"
                             "ds.save_as(sys.argv[2])\n";
    const std::string command = "/usr/bin/python3 '" + script + "' '" + ct_small + "' '" + copy + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return copy;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

} // namespace

TEST(DiffCommand, SameValuesAreTheSame)
{
    const DiffRun same = run_diff(quoted(ct_small) + " " + quoted(ct_small));
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out, "");
    // The same image in explicit VR little and big endian: only the meta group differs.
    const std::string files = std::string(VELMOR_PYDICOM_FILES);
    const DiffRun orders =
        run_diff("--ignore 0002 '" + files + "/MR_small.dcm' '" + files + "/MR_small_bigendian.dcm'");
    EXPECT_EQ(orders.status, 0);
    EXPECT_EQ(orders.out, "");
}

TEST(DiffCommand, ListsExactlyTheChangedValues)
{
    const std::string copy = changed_copy();
    const DiffRun changed = run_diff(quoted(ct_small) + " " + quoted(copy));
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.out, "~\t(0010,0010)\tCompressedSamples^CT1 \tChanged^Name\n"
                           "~\t(0010,1002)[1].(0010,0020)\t1234ABCD\tCHANGED1\n"
                           "~\t(0011,1010)\t0\t7\n");
    // Leaving out group 0010 and the private groups leaves nothing.
    const DiffRun ignored = run_diff("--ignore 0010 --no-private " + quoted(ct_small) + " " + quoted(copy));
    EXPECT_EQ(ignored.status, 0);
    EXPECT_EQ(ignored.out, "");
}

TEST(DiffCommand, MissingFileOrBadArgumentsAreErrors)
{
    EXPECT_EQ(run_diff(quoted(ct_small) + " " + quoted(test_temp_path("missing.dcm"))).status, 2);
    EXPECT_EQ(run_diff(quoted(ct_small)).status, 2);
    EXPECT_EQ(run_diff("--ignore 10 " + quoted(ct_small) + " " + quoted(ct_small)).status, 2);
}
