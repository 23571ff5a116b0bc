// Version documents for the update tests: tagged fields (0x16, the tag, the text) and whole
// records, as an update server publishes them.
#pragma once

#include <string>

namespace updatetest {

inline std::string Field(char tag, const std::string& text) {
    return std::string("\x16") + tag + text;
}

// A record: '1' name, '2' version, '3' page address, '4' download address, '0' end, one
// field per line.
inline std::string Record(const std::string& name, const std::string& version,
                          const std::string& page, const std::string& download) {
    return Field('1', name) + "\r\n" + Field('2', version) + "\r\n" + Field('3', page) +
           "\r\n" + Field('4', download) + "\r\n" + Field('0', "") + "\r\n";
}

// The same with the installer's signature in a '5' field before the record's end.
inline std::string SignedRecord(const std::string& name, const std::string& version,
                                const std::string& page, const std::string& download,
                                const std::string& signature) {
    std::string record = Record(name, version, page, download);
    return record.insert(record.rfind(Field('0', "")), Field('5', signature) + "\r\n");
}

}  // namespace updatetest
