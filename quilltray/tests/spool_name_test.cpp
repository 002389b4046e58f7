// Spool file names, made in a private folder: name modes, time stamp, character map, titles that
// try to leave the folder or open a device, counters and the length bounds.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "quilltray/job_session.h"
#include "shared/pipe_protocol.h"
#include "quilltray/spool_file.h"

namespace {

class SpoolNames : public ::testing::Test {
 protected:
  std::wstring Folder;

  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, temp);
    Folder = std::wstring(temp) + L"quilltray-names-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(Folder.c_str(), nullptr);
  }

  void TearDown() override { RemoveTree(Folder); }

  static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(folder + name + L"\\");
        } else {
          DeleteFileW((folder + name).c_str());
        }
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
  }

  // Creates a spool file and returns its name relative to the folder ("" when none was made).
  std::wstring Create(const wchar_t* title, WORD mode, const std::wstring& folder = L"") {
    WCHAR path[SPOOL_PATH_UNITS];
    const std::wstring& directory = folder.empty() ? Folder : folder;
    HANDLE file = CreateSpoolFile(directory.c_str(), title, path, mode);
    if (!file) {
      EXPECT_EQ(L'\0', path[0]) << "a failed creation leaves nothing to delete";
      return L"";
    }
    CloseHandle(file);
    std::wstring full = path;
    EXPECT_EQ(0u, full.find(directory)) << "the file lies in the folder: " << testing::PrintToString(full);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path));
    return full.substr(directory.size() + (directory.back() == L'\\' ? 0 : 1));
  }

  // The stamp as the name shows it, for now.
  static std::wstring ExpectedStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    WCHAR date[64], time[64];
    GetDateFormatW(LOCALE_SYSTEM_DEFAULT, LOCALE_NOUSEROVERRIDE, &now, nullptr, date, 64);
    GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, LOCALE_NOUSEROVERRIDE | TIME_NOSECONDS, &now, nullptr, time, 64);
    std::wstring stamp = std::wstring(L"(") + date + L" " + time + L")";
    for (wchar_t& c : stamp) {
      if (c == L'/') c = L',';
      if (c == L':') c = L';';
    }
    return stamp;
  }

  // Compares with the stamp taken just before and just after, so a minute turning over in
  // between does not matter.
  void ExpectStamped(const wchar_t* title, WORD mode, const std::wstring& before, const std::wstring& after) {
    std::wstring early = ExpectedStamp();
    std::wstring name = Create(title, mode);
    std::wstring late = ExpectedStamp();
    EXPECT_TRUE(name == before + early + after + L".Quillstack" || name == before + late + after + L".Quillstack") << testing::PrintToString(name);
  }
};

TEST_F(SpoolNames, PathTitleKeepsItsLastComponent) {
  EXPECT_EQ(L"report.txt.Quillstack", Create(L"D:\\Docs\\report.txt", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"report.txt(1).Quillstack", Create(L"D:\\Docs\\report.txt", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"report.txt(2).Quillstack", Create(L"C:\\other\\report.txt", 77)) << "unknown modes mean TitleOnly";
  EXPECT_EQ(L"D;,Docs.Quillstack", Create(L"D:\\Docs\\", NAME_MODE_TITLE_ONLY)) << "nothing after the last backslash: whole title";
}

TEST_F(SpoolNames, WebAddressLosesItsScheme) {
  EXPECT_EQ(L"www.example.com,docs,page.html.Quillstack", Create(L"https://www.example.com/docs/page.html", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"http.Quillstack", Create(L"http://", NAME_MODE_TITLE_ONLY)) << "nothing after the scheme: the whole title, mapped";
}

TEST_F(SpoolNames, TheFourNameModes) {
  // The test bed's system locale is the United States one: (12,7,2026 11;31 PM).
  std::wstring stamp = ExpectedStamp();
  EXPECT_EQ(0u, stamp.find(L"(")) << testing::PrintToString(stamp);
  EXPECT_TRUE(stamp.find(L" AM)") != std::wstring::npos || stamp.find(L" PM)") != std::wstring::npos) << testing::PrintToString(stamp);
  EXPECT_EQ(2, std::count(stamp.begin(), stamp.end(), L',')) << "month,day,year: " << testing::PrintToString(stamp);
  EXPECT_EQ(1, std::count(stamp.begin(), stamp.end(), L';')) << testing::PrintToString(stamp);

  ExpectStamped(L"a.txt", NAME_MODE_TIME_ONLY, L"", L"");
  ExpectStamped(L"C:\\x\\b.txt", NAME_MODE_TIME_THEN_TITLE, L"", L"b.txt");
  ExpectStamped(L"C:\\x\\c.txt", NAME_MODE_TITLE_THEN_TIME, L"c.txt", L"");
  EXPECT_EQ(L"d.txt.Quillstack", Create(L"d.txt", NAME_MODE_TITLE_ONLY));
}

TEST_F(SpoolNames, CharacterMap) {
  EXPECT_EQ(L"a_b_c_d_e_f_g,h;i_j.Quillstack", Create(L"a\"b*c<d>e?f|g/h:i\x01j", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"question.Quillstack", Create(L"question?", NAME_MODE_TITLE_ONLY)) << "trailing replaced characters vanish";
  EXPECT_EQ(L"colon.Quillstack", Create(L"colon:", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"x_.Quillstack", Create(L"x?", NAME_MODE_TITLE_ONLY)) << "only the first character kept: nothing is cut";
  EXPECT_EQ(L"__;.Quillstack", Create(L"*?:", NAME_MODE_TITLE_ONLY)) << "nothing kept: nothing is cut";
  EXPECT_EQ(L"t.Quillstack", Create(L"\t  t \t ", NAME_MODE_TITLE_ONLY)) << "leading and trailing blanks go";

  WCHAR text[] = L"a\x1f/\\:b\x7f";
  SanitizeFileName(text);
  EXPECT_STREQ(L"a_,,;b\x7f", text);
}

TEST_F(SpoolNames, EmptyBlankAndMissingTitles) {
  EXPECT_EQ(L".Quillstack", Create(L"   ", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"(1).Quillstack", Create(L"\t", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"(2).Quillstack", Create(L"", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"document.Quillstack", Create(nullptr, NAME_MODE_TITLE_ONLY));
}

TEST_F(SpoolNames, CountersThenDocument) {
  for (int n = 0; n < 255; ++n) {
    std::wstring expected = n == 0 ? L"same.Quillstack" : L"same(" + std::to_wstring(n) + L").Quillstack";
    ASSERT_EQ(expected, Create(L"same", NAME_MODE_TITLE_ONLY));
  }
  EXPECT_EQ(L"Document.Quillstack", Create(L"same", NAME_MODE_TITLE_ONLY)) << "after (254) the title is given up";
  EXPECT_EQ(L"Document(1).Quillstack", Create(L"same", NAME_MODE_TITLE_ONLY));
}

TEST_F(SpoolNames, TitlesNeverLeaveTheFolder) {
  EXPECT_EQ(L"...Quillstack", Create(L"..", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"..,..,evil.Quillstack", Create(L"http://../../evil", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"evil.Quillstack", Create(L"..\\..\\evil", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"C;,Windows,win.ini.Quillstack", Create(L"x://C:/Windows/win.ini", NAME_MODE_TITLE_ONLY));
  EXPECT_EQ(L"stream;data.Quillstack", Create(L"stream:data", NAME_MODE_TITLE_ONLY)) << "no alternate data stream";
}

TEST_F(SpoolNames, DeviceNamesNeverReachCreateFile) {
  const wchar_t* devices[] = {L"CON", L"prn", L"Aux", L"nul", L"COM1", L"com9", L"LPT1", L"lpt9", L"NUL.txt", L"con .txt", L"C:\\dir\\aux", L"CONOUT$"};
  for (const wchar_t* title : devices) {
    std::wstring name = Create(title, NAME_MODE_TITLE_ONLY);
    ASSERT_FALSE(name.empty()) << testing::PrintToString(std::wstring(title));
    EXPECT_EQ(L'_', name[0]) << testing::PrintToString(name);
  }
  EXPECT_EQ(L"CONSOLE.Quillstack", Create(L"CONSOLE", NAME_MODE_TITLE_ONLY)) << "only the device names themselves";
  EXPECT_EQ(L"COM10.Quillstack", Create(L"COM10", NAME_MODE_TITLE_ONLY));
}

TEST_F(SpoolNames, LongTitlesAreBoundedByTheFolderLength) {
  std::wstring title(4000, L'x');
  std::wstring name = Create(title.c_str(), NAME_MODE_TITLE_ONLY);
  EXPECT_EQ(Folder.size() + 79 + 11, name.size()) << "at most D + 79 title characters";
  // TimeThenTitle has no bound of its own: a name longer than the file system takes fails every
  // attempt and the job falls back to "Document".
  EXPECT_EQ(L"Document.Quillstack", Create(title.c_str(), NAME_MODE_TIME_THEN_TITLE));
  std::wstring shorter(200, L's');
  std::wstring timed = Create(shorter.c_str(), NAME_MODE_TIME_THEN_TITLE);
  EXPECT_EQ(shorter + L".Quillstack", timed.substr(timed.find(L')') + 1)) << "the whole title after the stamp";
}

TEST_F(SpoolNames, LongFolderAndLongTitleFitThePath) {
  // A folder of about 230 characters, made one level at a time by EnsureDirectory.
  std::wstring deep = Folder;
  for (int level = 0; level < 5; ++level) deep += std::wstring(40, static_cast<wchar_t>(L'a' + level)) + L"\\";
  std::wstring title(4000, L'y');
  for (WORD mode : {NAME_MODE_TITLE_ONLY, NAME_MODE_TIME_THEN_TITLE, NAME_MODE_TITLE_THEN_TIME}) {
    for (int copy = 0; copy < 3; ++copy) {
      std::wstring name = Create(title.c_str(), mode, deep);
      ASSERT_FALSE(name.empty());
      EXPECT_LT(deep.size() + name.size(), static_cast<size_t>(SPOOL_PATH_UNITS));
      EXPECT_NE(std::wstring::npos, name.rfind(L".Quillstack")) << "the extension is never cut off";
    }
  }
  EXPECT_TRUE(IsDirectory(deep.c_str()));
}

TEST_F(SpoolNames, FolderTooLongOrMissing) {
  std::wstring tooLong = L"C:\\" + std::wstring(500, L'z');
  EXPECT_EQ(L"", Create(L"t", NAME_MODE_TITLE_ONLY, tooLong));
  EXPECT_EQ(L"", Create(L"t", NAME_MODE_TITLE_ONLY, L"Q:\\no\\such\\drive\\")) << "a folder that can't be made: no file";
}

TEST(EnsureDirectory, MakesMissingParentsAndAcceptsExistingOnes) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH, temp);
  std::wstring base = std::wstring(temp) + L"quilltray-dirs-" + std::to_wstring(GetCurrentProcessId());
  std::wstring deep = base + L"\\one\\two\\three\\";
  EXPECT_TRUE(EnsureDirectory(deep.c_str()));
  EXPECT_TRUE(IsDirectory((base + L"\\one\\two\\three").c_str()));
  EXPECT_TRUE(EnsureDirectory(deep.c_str())) << "an existing folder counts";
  std::wstring file = base + L"\\file";
  CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  EXPECT_FALSE(IsDirectory(file.c_str()));
  EXPECT_FALSE(EnsureDirectory((file + L"\\sub").c_str())) << "a file in the way";
  DeleteFileW(file.c_str());
  RemoveDirectoryW((base + L"\\one\\two\\three").c_str());
  RemoveDirectoryW((base + L"\\one\\two").c_str());
  RemoveDirectoryW((base + L"\\one").c_str());
  RemoveDirectoryW(base.c_str());
}

}  // namespace
