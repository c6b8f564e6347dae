#include "map/map_choice.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fixed_platform.h"
#include "util/os.h"

namespace brolvin {
namespace {

// A folder joined with a name by the program, with the system's separator.
const std::string kMaps = std::string("maps") + os::kNativeSeparator;

const std::string kIsa =
    "ISA*00*          *00*          *ZZ*SUBMITTER      *ZZ*RECEIVER       *240101*1200*^*00501*000000001*0*P*:~";

std::string interchange(const std::string& gs08, const std::string& st01) {
    return kIsa + "\nGS*HC*S*R*20240101*1200*1*X*" + gs08 + "~\nST*" + st01 + "*0001~\nSE*2*0001~\n";
}

class MapChoiceTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::create_directory("shipped");
        shipped = ShippedMaps((dir_ / "shipped").string());
        write("in.x12", interchange("005010X222A2", "837"));
    }
    MapChoice choose(MapChoiceRequest request) {
        request.source = request.source.empty() ? "in.x12" : request.source;
        request.shippedMaps = &shipped;
        return chooseMap(request, ctx);
    }
    test::FixedPlatform platform;
    RunContext ctx{platform};
    ShippedMaps shipped{""};
};

std::string stamped(const std::string& text) { return "09:05:07" + text + "\r\n"; }

std::string detectedLines(const std::string& mapFile) {
    return stamped(" - X12 Version/Transaction Detected  ") + "   Current Directory : tmp/work\r\n" +
           "   Current Drive : \r\n" + "   Map File : " + mapFile + "\r\n";
}

TEST_F(MapChoiceTest, NamedMapIsUsedAsGivenWithTheDefaultFolderInFront) {
    MapChoice plain = choose({.mapName = "mymap"});
    EXPECT_EQ(plain.runLog, stamped(" - Map File Set A to mymap") + stamped(" - X12 Version/Transaction NOT Detected  "));
    EXPECT_EQ(plain.pathToLoad, "mymap");
    EXPECT_EQ(plain.mapPrefix, "");

    EXPECT_EQ(choose({.mapName = "mymap.cfg", .defaultMapPath = "c:\\maps\\"}).pathToLoad, "c:\\maps\\mymap.cfg");
    EXPECT_EQ(choose({.mapName = "mymap.cfg", .defaultMapPath = " maps "}).pathToLoad, kMaps + "mymap.cfg");
}

TEST_F(MapChoiceTest, NamedMapMissingEverywhereElseComesFromTheShippedFolder) {
    write("shipped/837p.cfg", "FIELD=X\r\n");
    const std::string shippedPath = (dir_ / "shipped" / "837p.cfg").string();
    MapChoice fromShipped = choose({.mapName = "837p.cfg", .defaultMapPath = "maps"});
    EXPECT_EQ(fromShipped.pathToLoad, shippedPath);
    EXPECT_EQ(fromShipped.runLog, stamped(" - Map File Set A to 837p.cfg") +
                                      stamped(" - X12 Version/Transaction NOT Detected  ") +
                                      stamped(" - Used Map file " + shippedPath));
    // A file where the name points wins; a name with a folder is never replaced.
    std::filesystem::create_directory("maps");
    write("maps/837p.cfg", "FIELD=Y\r\n");
    EXPECT_EQ(choose({.mapName = "837p.cfg", .defaultMapPath = "maps"}).pathToLoad, kMaps + "837p.cfg");
    EXPECT_EQ(choose({.mapName = "other/837p.cfg"}).pathToLoad, "other/837p.cfg");
}

TEST_F(MapChoiceTest, DetectedMapPresentInTheCurrentFolder) {
    write("837p.cfg", "FIELD=X\r\n");
    MapChoice c = choose({});
    EXPECT_EQ(c.runLog, stamped(" - Map File Set C to 837p.cfg") + detectedLines("837p.cfg") +
                            stamped(" - Map File Set G to 837p.cfg"));
    EXPECT_EQ(c.pathToLoad, "837p.cfg");
    EXPECT_EQ(c.mapPrefix, "837p.cfg_");
}

TEST_F(MapChoiceTest, MapFolderJoinsTheDetectedNameWithoutDoublingTheExtension) {
    std::filesystem::create_directory("maps");
    write("maps/837p.cfg", "FIELD=X\r\n");
    MapChoice c = choose({.mapFolder = "maps"});
    EXPECT_EQ(c.runLog, stamped(" - Map File Set C to 837p.cfg") + stamped(" - Map File Set D to " + kMaps + "837p.cfg") +
                            detectedLines(kMaps + "837p.cfg") + stamped(" - Map File Set G to " + kMaps + "837p.cfg"));
    EXPECT_EQ(c.pathToLoad, kMaps + "837p.cfg");
    EXPECT_EQ(c.mapPrefix, "837p.cfg_");
    EXPECT_EQ(choose({.mapFolder = "maps/"}).pathToLoad, "maps/837p.cfg");
}

TEST_F(MapChoiceTest, DefaultFolderIsWhereTheDetectedMapMustExist) {
    std::filesystem::create_directory("maps");
    write("maps/837p.cfg", "FIELD=X\r\n");
    MapChoice c = choose({.defaultMapPath = "maps"});
    EXPECT_EQ(c.pathToLoad, kMaps + "837p.cfg");
    EXPECT_NE(c.runLog.find(" - Map File Set G to 837p.cfg"), std::string::npos);

    // Present in the current folder only: not what would be loaded.
    std::filesystem::remove("maps/837p.cfg");
    write("837p.cfg", "FIELD=X\r\n");
    MapChoice absent = choose({.defaultMapPath = "maps"});
    EXPECT_NE(absent.runLog.find(" - X12 Detected Map File NOT Present 837p.cfg"), std::string::npos);
    EXPECT_EQ(absent.pathToLoad, kMaps);
}

TEST_F(MapChoiceTest, DetectedMapNotPresentIsSuppliedFromTheShippedFolder) {
    MapChoice none = choose({.mapFolder = "maps"});
    EXPECT_EQ(none.runLog, stamped(" - Map File Set C to 837p.cfg") + stamped(" - Map File Set D to " + kMaps + "837p.cfg") +
                               detectedLines(kMaps + "837p.cfg") +
                               stamped(" - X12 Detected Map File NOT Present " + kMaps + "837p.cfg"));
    EXPECT_EQ(none.pathToLoad, "");

    write("shipped/837p.cfg", "FIELD=X\r\n");
    const std::string shippedPath = (dir_ / "shipped" / "837p.cfg").string();
    MapChoice supplied = choose({.mapFolder = "maps", .defaultMapPath = "defaults"});
    EXPECT_TRUE(supplied.runLog.ends_with(stamped(" - X12 Detected Map File NOT Present " + kMaps + "837p.cfg") +
                                          stamped(" - Used Map file " + shippedPath)));
    EXPECT_EQ(supplied.pathToLoad, shippedPath);
    EXPECT_EQ(suppliedMap("maps/837p.cfg", 1, shipped), shippedPath);
    EXPECT_EQ(suppliedMap("maps/837p.cfg", 2, shipped), "");
    EXPECT_EQ(suppliedMap("835.cfg", 1, shipped), "");
}

TEST_F(MapChoiceTest, DebugTraceStaysAfterDetectionAndMovesIntoTheDebugTextAtStepB) {
    write("837p.cfg", "FIELD=X\r\n");
    MapChoice detected = choose({.debug = "DEBUG"});
    EXPECT_TRUE(fileExists("tdebug.log"));
    EXPECT_EQ(detected.debugText, "");

    write("in.x12", interchange("005010X999", "837"));
    MapChoice undetected = choose({.debug = "DEBUG"});
    EXPECT_EQ(undetected.runLog, stamped(" - Map File Set B to ") + stamped(" - Source file =in.x12"));
    EXPECT_EQ(undetected.pathToLoad, "");
    EXPECT_EQ(undetected.mapPrefix, "_");
    EXPECT_TRUE(undetected.debugText.starts_with("\r\n xst=~\r\n xds=*\r\n")) << undetected.debugText;
    EXPECT_TRUE(undetected.debugText.ends_with(" GG Version =005010X999\r\n"));
    EXPECT_FALSE(fileExists("tdebug.log"));
}

TEST_F(MapChoiceTest, DatabaseMapNamesTheMapOfTheTransactionSet) {
    write("db.map", "TABLE=CLAIMS\r\nTRANSACTIONTYPE=837P\r\n\r\n83\r\n837P=map837p\r\n835=map835\r\nLAST=x");
    DbMapTable table(2);
    table[0].transactionType = "835";
    table[1].transactionType = "837p";
    // Blank and too-short lines name no map; the row's type replaces ST01.
    EXPECT_EQ(mapFromDatabaseMap("in.x12", "cur", &table, "db.map", platform), "map837p");
    write("835.x12", interchange("005010X221A1", "835"));
    EXPECT_EQ(mapFromDatabaseMap("835.x12", "cur", nullptr, "db.map", platform), "map835");
    write("none.x12", kIsa + "GS*HC~");
    EXPECT_EQ(mapFromDatabaseMap("none.x12", "cur", nullptr, "db.map", platform), "cur");
    EXPECT_EQ(mapFromDatabaseMap("in.x12", "cur", &table, "absent.map", platform), "cur");

    // With a database map the interchange is not consulted.
    write("map837p", "FIELD=X\r\n");
    MapChoice c = choose({.databaseMapName = "db.map", .databaseMap = &table});
    EXPECT_EQ(c.runLog, stamped(" - Map File Set B to map837p") + stamped(" - Source file =in.x12") +
                            detectedLines("map837p") + stamped(" - Map File Set G to map837p"));
    EXPECT_EQ(c.pathToLoad, "map837p");
    EXPECT_EQ(c.mapPrefix, "map837p_");

    // Without detection there is no trace: a file left by an earlier job is
    // removed, not taken into this job's debug text.
    write("tdebug.log", "earlier job");
    c = choose({.debug = "DEBUG", .databaseMapName = "db.map", .databaseMap = &table});
    EXPECT_EQ(c.debugText, "");
    EXPECT_FALSE(fileExists("tdebug.log"));
}

}  // namespace
}  // namespace brolvin
