#include "settings/ProfileFile.h"

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

using settings::GetProfileString;
using settings::ProfileDocument;
using settings::ProfileWriteError;
using settings::WriteProfileString;
using tesmar::test::CountEntries;
using tesmar::test::ReadFile;
using tesmar::test::TempDir;
using tesmar::test::WriteFile;

TEST(ProfileDocument, FindsKeysWithoutRegardToCase)
{
    const auto doc = ProfileDocument::FromText("[Form]\nMainTop=120\n[wave]\nrxmode=3\n");
    EXPECT_EQ(doc.Find("Form", "MainTop"), "120");
    EXPECT_EQ(doc.Find("FORM", "maintop"), "120");
    EXPECT_EQ(doc.Find("Wave", "RxMode"), "3");
    EXPECT_EQ(doc.Find("Wave", "MainTop"), std::nullopt);
    EXPECT_EQ(doc.Find("Etc", "MemName"), std::nullopt);
}

TEST(ProfileDocument, ValuesAreTrimmedAndUnquoted)
{
    const auto doc = ProfileDocument::FromText(
        "  [ Form ]  \n  MainTop =  120  \nA=\"  spaced \"\nB='x'\nC=\"half\nD=a=b\nE=\n");
    EXPECT_EQ(doc.Find("Form", "MainTop"), "120");
    EXPECT_EQ(doc.Find("Form", "A"), "  spaced ");
    EXPECT_EQ(doc.Find("Form", "B"), "x");
    EXPECT_EQ(doc.Find("Form", "C"), "\"half");
    EXPECT_EQ(doc.Find("Form", "D"), "a=b");
    EXPECT_EQ(doc.Find("Form", "E"), "");
}

TEST(ProfileDocument, CommentsAndLinesOutsideSectionsAreNoKeys)
{
    const auto doc = ProfileDocument::FromText(
        "MainTop=1\n[Form]\n;MainLeft=2\n# MainLeft=3\nno equals sign\n=4\n");
    EXPECT_EQ(doc.Find("Form", "MainTop"), std::nullopt);
    EXPECT_EQ(doc.Find("Form", "MainLeft"), std::nullopt);
    EXPECT_EQ(doc.Find("Form", ""), std::nullopt);
}

TEST(ProfileDocument, FirstOccurrenceWins)
{
    const auto doc = ProfileDocument::FromText("[A]\nk=1\nk=2\n[A]\nk=3\nj=4\n");
    EXPECT_EQ(doc.Find("A", "k"), "1");
    EXPECT_EQ(doc.Find("A", "j"), "4");  // a repeated section is still the section
}

TEST(ProfileDocument, ReadIntAndBool)
{
    const auto doc = ProfileDocument::FromText(
        "[W]\nhex=0x10\ndollar=$1F\nneg=-150\njunk=abc\nempty=\nt=2\nf=0\nword=yes\n");
    EXPECT_EQ(doc.ReadInt("W", "hex", -150), 16);
    EXPECT_EQ(doc.ReadInt("W", "dollar", 0), 31);
    EXPECT_EQ(doc.ReadInt("W", "neg", 0), -150);
    EXPECT_EQ(doc.ReadInt("W", "junk", -150), -150);
    EXPECT_EQ(doc.ReadInt("W", "empty", 7), 7);
    EXPECT_EQ(doc.ReadInt("W", "missing", 9), 9);
    EXPECT_TRUE(doc.ReadBool("W", "t", false));
    EXPECT_FALSE(doc.ReadBool("W", "f", true));
    EXPECT_TRUE(doc.ReadBool("W", "word", true));
    EXPECT_FALSE(doc.ReadBool("W", "word", false));
}

TEST(ProfileDocument, StringsAreCutAt2047Characters)
{
    const std::string longValue(3000, 'x');
    const auto doc = ProfileDocument::FromText("[Etc]\nMemName=" + longValue +
                                               "\nShort=" + std::string(2047, 'y') + "\n");
    EXPECT_EQ(doc.ReadString("Etc", "MemName", ""), std::string(2047, 'x'));
    EXPECT_EQ(doc.ReadString("Etc", "Short", ""), std::string(2047, 'y'));
}

TEST(ProfileDocument, WriteReplacesInPlaceAndKeepsEverythingElse)
{
    const std::string before =
        "; my receiver\n[Form]\n  maintop = 5 \n; keep me\nMainLeft=7\n\n[Other]\nx=1\n";
    auto doc = ProfileDocument::FromText(before);
    doc.WriteInt("Form", "MainTop", 120);
    EXPECT_EQ(doc.Text(),
              "; my receiver\n[Form]\nmaintop=120\n; keep me\nMainLeft=7\n\n[Other]\nx=1\n");
    doc.WriteInt("FORM", "MAINTOP", -3);
    EXPECT_EQ(doc.Find("Form", "MainTop"), "-3");
}

TEST(ProfileDocument, NewKeyGoesAtTheEndOfItsSection)
{
    auto doc = ProfileDocument::FromText(
        "[Form]\nMainTop=1\nodd line\n\n; about Wave\n[Wave]\nRxMode=1\n");
    doc.WriteInt("Form", "MainLeft", 2);
    doc.WriteInt("Wave", "IFBW", 3);
    EXPECT_EQ(
        doc.Text(),
        "[Form]\nMainTop=1\nodd line\nMainLeft=2\n\n; about Wave\n[Wave]\nRxMode=1\nIFBW=3\n");
}

TEST(ProfileDocument, KeyOfAnEmptySectionFollowsItsHeader)
{
    auto doc = ProfileDocument::FromText("[IO]\n\n[Etc]\n");
    doc.WriteString("IO", "PortStr", "/dev/ttyUSB0");
    EXPECT_EQ(doc.Text(), "[IO]\nPortStr=/dev/ttyUSB0\n\n[Etc]\n");
}

TEST(ProfileDocument, NewKeyOfARepeatedSectionGoesToTheFirst)
{
    auto doc = ProfileDocument::FromText("[A]\nk=1\n[B]\n[a]\nj=2\n");
    doc.WriteInt("A", "n", 3);
    doc.WriteInt("A", "j", 4);
    EXPECT_EQ(doc.Text(), "[A]\nk=1\nn=3\n[B]\n[a]\nj=4\n");
}

TEST(ProfileDocument, MissingSectionIsAddedAtTheEnd)
{
    ProfileDocument empty;
    empty.WriteString("Etc", "MemName", "");
    EXPECT_EQ(empty.Text(), "[Etc]\nMemName=\n");

    auto doc = ProfileDocument::FromText("[Form]\nMainTop=1");  // no final line end
    doc.WriteInt("IO", "PortNum", 2);
    EXPECT_EQ(doc.Text(), "[Form]\nMainTop=1\n\n[IO]\nPortNum=2\n");
}

TEST(ProfileDocument, CrLfFilesStayCrLf)
{
    auto doc = ProfileDocument::FromText("[Form]\r\nMainTop=1\r\n");
    EXPECT_EQ(doc.Find("Form", "MainTop"), "1");
    doc.WriteInt("Form", "MainLeft", 2);
    doc.WriteInt("Wave", "AGC", 0);
    EXPECT_EQ(doc.Text(), "[Form]\r\nMainTop=1\r\nMainLeft=2\r\n\r\n[Wave]\r\nAGC=0\r\n");
}

TEST(ProfileDocument, ByteOrderMarkBeforeTheFirstSection)
{
    auto doc = ProfileDocument::FromText("\xEF\xBB\xBF[Form]\nMainTop=9\n");
    EXPECT_EQ(doc.Find("Form", "MainTop"), "9");
    doc.WriteInt("Form", "MainLeft", 1);
    EXPECT_EQ(doc.Text(), "\xEF\xBB\xBF[Form]\nMainTop=9\nMainLeft=1\n");
}

TEST(ProfileDocument, AValueCannotAddLines)
{
    ProfileDocument doc;
    doc.WriteString("Etc", "MemName", "a\nb\r\n[Evil]\nMainTop=666");
    const auto text = doc.Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(doc.Find("Etc", "MemName"), "a b  [Evil] MainTop=666");
    EXPECT_EQ(doc.Find("Evil", "MainTop"), std::nullopt);
}

// Values the reader would trim or unquote go out in quotes of their own, so
// that a memory name like " 'QRP' " survives any number of saves. A CR is no
// part of a value on either side.
TEST(ProfileDocument, EveryValueReadsBackAsWritten)
{
    for (const std::string value :
         {"plain", " lead", "trail\t", "'QRP'", "\"x\"", "\"", "'a\"", "\"\"", " ' ' ", "a=b"}) {
        ProfileDocument doc = ProfileDocument::FromText("[Etc]\n");
        doc.WriteString("Etc", "MemName", value);
        for (int save = 0; save < 3; ++save) {
            doc = ProfileDocument::FromText(doc.Text());
            EXPECT_EQ(doc.Find("Etc", "MemName"), value) << doc.Text();
            doc.WriteString("Etc", "MemName", *doc.Find("Etc", "MemName"));
        }
    }
    // Found by fuzzing: a CR inside a value of a file with LF line ends.
    ProfileDocument doc = ProfileDocument::FromText("[IO\nPortStr=S\rs");
    EXPECT_EQ(doc.Find("IO", "PortStr"), "S s");
    doc.WriteString("IO", "PortStr", *doc.Find("IO", "PortStr"));
    EXPECT_EQ(ProfileDocument::FromText(doc.Text()).Find("IO", "PortStr"), "S s");
}

TEST(ProfileFile, MissingOrUnreadableFileIsEmpty)
{
    TempDir dir;
    EXPECT_EQ(ProfileDocument::Load(dir / "none.ini").Text(), "");
    EXPECT_EQ(ProfileDocument::Load(dir.Path()).Text(), "");  // a folder, not a file
    EXPECT_EQ(GetProfileString(dir / "none.ini", "Form", "MainTop", "dflt"), "dflt");
}

TEST(ProfileFile, WriteProfileStringCreatesAndEditsTheFile)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    WriteProfileString(file, "Form", "MainTop", "10");
    WriteProfileString(file, "Wave", "RxMode", "2");
    WriteProfileString(file, "form", "maintop", "11");
    EXPECT_EQ(ReadFile(file), "[Form]\nMainTop=11\n\n[Wave]\nRxMode=2\n");
    EXPECT_EQ(GetProfileString(file, "WAVE", "RXMODE", ""), "2");
    EXPECT_EQ(CountEntries(dir.Path()), 1);  // no temporary files left behind
}

TEST(ProfileFile, SaveKeepsTheFilesPermissions)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    WriteFile(file, "[Form]\nMainTop=1\n");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    WriteProfileString(file, "Form", "MainTop", "2");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(file), "[Form]\nMainTop=2\n");
}

TEST(ProfileFile, SaveThroughASymbolicLinkReplacesItsTarget)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    const auto target = dir / "real" / "tesmar.ini";
    const auto link = dir / "tesmar.ini";
    WriteFile(target, "[Form]\nMainTop=1\n");
    std::filesystem::create_symlink(target, link);
    WriteProfileString(link, "Form", "MainTop", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "[Form]\nMainTop=2\n");
}

TEST(ProfileFile, SaveUnderARegularFileFailsNamingTheFile)
{
    TempDir dir;
    WriteFile(dir / "plain", "not a folder");
    const auto file = dir / "plain" / "tesmar.ini";
    try {
        WriteProfileString(file, "Form", "MainTop", "1");
        FAIL() << "the write should have failed";
    } catch (const ProfileWriteError& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        EXPECT_EQ(e.File(), file);
    }
    EXPECT_EQ(ReadFile(dir / "plain"), "not a folder");
}

TEST(ProfileFile, SaveOntoAFolderFailsAndLeavesNothingBehind)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    std::filesystem::create_directory(file);
    EXPECT_THROW(WriteProfileString(file, "Form", "MainTop", "1"), ProfileWriteError);
    EXPECT_TRUE(std::filesystem::is_directory(file));
    EXPECT_EQ(CountEntries(dir.Path()), 1);
}
