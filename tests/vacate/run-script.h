// Running a script through the interpreter with the uninstaller's own handlers, as the
// uninstaller does, for the tests of the keyword handlers (the handlers are registered once
// for the test program by its environment).
#pragma once

#include <windows.h>

#include <string>

#include "fixtures/fixture-test.h"
#include "product.h"
#include "vacate/script.h"
#include "vacate/shell.h"

namespace product {

// What a run left in its context (the text fields and numbers; its pointers are gone).
struct Outcome {
    int ran;
    ScriptContext context;
};

inline Outcome RunBytes(const PackBytes& bytes, int32_t mode) {
    fixture::ScratchFolder scripts(fixture::TempFolder(), "script");
    std::string path = scripts.path + "install.dat";
    EXPECT_TRUE(WriteBytes(path, bytes));
    ScriptContext* context = nullptr;
    EXPECT_EQ(ScriptLoad(&context, path.c_str(), mode), 1);
    Outcome run{};
    GroupReset();
    run.ran = ScriptRun(context, nullptr);
    run.context = *context;
    ScriptFree(&context);
    return run;
}

inline Outcome RunScript(const std::string& source, int32_t mode) {
    return RunBytes(Script(source), mode);
}

// The script bytes of a source as the builder writes them, but without its checks: for
// scripts the builder refuses and the uninstaller must still read safely.
inline PackBytes Unchecked(const std::string& source) {
    PackBytes bytes;
    size_t at = 0;
    while (at < source.size()) {
        size_t end = source.find('\n', at);
        if (end == std::string::npos) end = source.size();
        std::string line = "\x16" + source.substr(at, end - at) + "\r\n";
        bytes.insert(bytes.end(), line.begin(), line.end());
        at = end + 1;
    }
    return bytes;
}

// Answers Yes (or the given button) to questions and OK to notices.
inline windriver::BoxAnswerer::Chooser Answering(int questionAnswer = IDYES) {
    return [questionAnswer](const std::string&, const std::string& text) {
        return text.find('?') != std::string::npos ? questionAnswer : IDOK;
    };
}

inline std::string Uninstalled(const Sample& p) {
    return std::string(kCompany) + " " + p.name + " has been uninstalled!";
}

// A copy of one of the fixture programs or libraries in the product's folder.
inline std::string FixtureCopy(const Sample& p, const char* fixtureName, const char* as) {
    std::string target = p.folder + as;
    CopyFileA(fixture::FixturePath(fixtureName).c_str(), target.c_str(), FALSE);
    return target;
}

}  // namespace product
