// The manifest as a reader finds it after a run cut short: every complete
// line counts, a line without its marker does not (the last one, torn; one
// a power cut zeroed and the next writer ended), a complete line that makes
// no sense makes the manifest unreadable; and a version 1 backup is still
// restored.
#include <gtest/gtest.h>

#include <string>

#include "app/cleaner_app.h"
#include "backup/manifest.h"
#include "platform/simulated/simulated.h"
#include "support/rich_workstation.h"
#include "support/workstation.h"

namespace vk {
namespace {

using Kind = ManifestEntry::Kind;
using Outcome = ManifestEntry::Outcome;

const std::string kDigest(64, 'a');

TEST(Manifest, EveryCompleteLineCountsAndNoTornOne) {
    std::string text = ManifestHeader();
    text += SaveLine(1, Kind::File, "C:\\Windows\\inf\\oem5.inf", {{"files\\inf\\oem5.inf", 3, kDigest}});
    text += OutcomeLine(1, Outcome::NotDeleted, 5);
    // A driver file whose deletion failed goes at the restart: the last line says.
    text += OutcomeLine(1, Outcome::LeftToRestart, 0);
    text += SaveLine(2, Kind::Service, "vlkusbser",
                     {{"services\\vlkusbser.reg", 10, kDigest}, {"services\\vlkusbser.txt", 20, kDigest}});
    text += KeptLine(3, Kind::File, "C:\\Windows\\system32\\drivers\\vlkusbser.sys", 32);
    // Lines a power cut turned to zeros, ended by the restore that came next.
    text += std::string(40, '\0') + "\r\n";
    text += RestoreLine(2, false);
    // Cut short before its marker, and ended by the next writer.
    const std::string cut =
        SaveLine(4, Kind::File, "C:\\Windows\\inf\\oem8.inf", {{"files\\inf\\oem8.inf", 1, kDigest}});
    text += cut.substr(0, cut.size() - 4) + "\r\n";
    text += SaveLine(5, Kind::Device, "USB\\VID_C2B5&PID_000A\\1",
                     {{"devices\\USB#VID_C2B5&PID_000A#1.reg", 7, kDigest}});
    // The last line, torn.
    const std::string torn = OutcomeLine(5, Outcome::Deleted, 0);
    text += torn.substr(0, torn.size() - 1);

    Manifest manifest;
    ASSERT_TRUE(ReadManifest(text, &manifest));
    EXPECT_EQ(manifest.version, 2);
    ASSERT_EQ(manifest.entries.size(), 4u);
    const ManifestEntry& file = manifest.entries[0];
    EXPECT_TRUE(file.kind == Kind::File && file.source == "C:\\Windows\\inf\\oem5.inf" &&
                file.SavedAs() == "files\\inf\\oem5.inf" && file.copies[0].size == 3 &&
                file.copies[0].sha256 == kDigest && file.outcome == Outcome::LeftToRestart && file.code == 0);
    const ManifestEntry& service = manifest.entries[1];
    EXPECT_TRUE(service.copies.size() == 2 && service.copies[1].path == "services\\vlkusbser.txt" &&
                service.copies[1].size == 20 && service.outcome == Outcome::Saved && service.restoring &&
                !service.restored);
    EXPECT_TRUE(manifest.entries[2].outcome == Outcome::Kept && manifest.entries[2].code == 32 &&
                manifest.entries[2].copies.empty());
    // Its deletion's line never made it whole: it may have gone.
    EXPECT_TRUE(manifest.entries[3].kind == Kind::Device && manifest.entries[3].outcome == Outcome::Saved);

    // A complete line that cannot be read is no torn one.
    const std::string whole = ManifestHeader() + SaveLine(1, Kind::File, "C:\\x", {{"files\\x", 1, kDigest}});
    for (const std::string& bad : {OutcomeLine(2, Outcome::Deleted, 0),
                                   std::string("1\tsave\tfile\tC:\\y\tfiles\\y\t1\tnot-a-digest\t.\r\n"),
                                   std::string("1\tvanished\t0\t.\r\n"),
                                   SaveLine(1, Kind::File, "C:\\x", {{"files\\x", 1, kDigest}})}) {
        EXPECT_FALSE(ReadManifest(whole + bad, &manifest)) << bad;
    }
    EXPECT_FALSE(ReadManifest("VelkorUSBCleaner backup 3\r\n", &manifest));
}

// A folder a version 1 pass wrote: its manifest, written once at the end,
// names each item's copy without a size or digest, and a package saved as
// its INF has its PNF's copy beside that of the INF.
TEST(Manifest, AVersionOneBackupIsStillRestored) {
    sim::SimulatedWorkstation ws;
    rich::DescribeRichWorkstation(ws);
    ASSERT_EQ(RunVelkorUSBCleaner(ws, {"/quiet", "/backup:" + rich::kBackup}), ExitCompleted);
    const std::string version1 =
        "VelkorUSBCleaner backup 1\r\n"
        "package\toem8.inf\tfiles\\inf\\oem8.inf\tsaved\t0\r\n"
        "file\tC:\\Windows\\inf\\oem8.inf\tfiles\\inf\\oem8.inf\tdeleted\t0\r\n"
        "file\tC:\\Windows\\system32\\drivers\\vlkusbser.sys\t\tkept\t32\r\n"
        "service\tvlkusbser\tservices\\vlkusbser.reg\tdeleted\t0\r\n";
    ws.AddFile(rich::kBackup + "\\manifest.txt", version1);
    ASSERT_FALSE(ws.HasFile(test::kInf + "oem8.pnf"));
    ASSERT_FALSE(ws.HasService("vlkusbser"));

    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/quiet", "/restore:" + rich::kBackup}), ExitCompleted);
    EXPECT_EQ(ws.FindFile(test::kInf + "oem8.inf")->content,
              ws.FindFile(rich::kBackup + "\\files\\inf\\oem8.inf")->content);
    EXPECT_TRUE(ws.HasFile(test::kInf + "oem8.pnf"));
    EXPECT_TRUE(ws.HasService("vlkusbser"));
    // Not listed there, not put back.
    EXPECT_FALSE(ws.HasFile(test::kInf + "oem5.inf"));
    // A version 1 manifest is read, never written to.
    EXPECT_EQ(ws.FindFile(rich::kBackup + "\\manifest.txt")->content, version1);
}

}  // namespace
}  // namespace vk
