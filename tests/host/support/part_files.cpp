#include "support/part_files.h"

namespace testing_parts {

const char kNextDiskCaption[] = "N\xE4" "chste Diskette";
const char kWrongDiskCaption[] = "Falsche Diskette";

std::string Bytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    uint32_t state = seed * 2654435761u + 12345u;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 23);
    }
    return bytes;
}

std::string Header(const std::string& name, unsigned setSeed, unsigned char lastFlag)
{
    std::string header = name.substr(0, 259);
    header += '\0';
    header += Bytes(1023 - header.size(), setSeed);
    header += static_cast<char>(lastFlag);
    return header;
}

std::string PartSet::PayloadsUpTo(int count) const
{
    std::string payloads;
    for (int n = 0; n < count; ++n) {
        payloads += files.at(n).substr(1024);
    }
    return payloads;
}

PartSet MakeSet(const std::string& name, const std::vector<size_t>& payloadSizes,
                unsigned setSeed)
{
    PartSet set;
    set.name = name;
    for (size_t i = 0; i < payloadSizes.size(); ++i) {
        bool last = i + 1 == payloadSizes.size();
        std::string payload = Bytes(payloadSizes[i], setSeed * 1000u + static_cast<unsigned>(i));
        set.files.push_back(Header(name, setSeed, last ? 1 : 0) + payload);
        set.installer += payload;
    }
    return set;
}

std::shared_ptr<fake::Volume> DiskWith(const PartSet& set, const std::vector<int>& parts,
                                       const std::string& dir)
{
    auto disk = fake::NewVolume();
    disk->AddDirectory(dir);
    for (int number : parts) {
        disk->Add(dir + "\\FILE." + std::to_string(number), set.Part(number));
    }
    return disk;
}

std::string NextDisk(int number)
{
    return std::string(kNextDiskCaption) + ": Bitte legen Sie Diskette " +
           std::to_string(number) + " ein";
}

std::string WrongDisk(int number)
{
    return std::string(kWrongDiskCaption) + ": Bitte legen Sie Diskette " +
           std::to_string(number) + " ein";
}

std::vector<std::string> ShownBoxes()
{
    std::vector<std::string> shown;
    for (const fake::MessageBoxRecord& box : fake::Machine().boxes) {
        shown.push_back(box.hasCaption ? box.caption + ": " + box.text : box.text);
    }
    return shown;
}

fake::Answer OkAfterInserting(std::shared_ptr<fake::Volume> disk)
{
    return fake::Answer{IDOK, [disk] { fake::Machine().InsertDisk('A', disk); }};
}

fake::Answer Ok()
{
    return fake::Answer{IDOK, nullptr};
}

fake::Answer Cancel()
{
    return fake::Answer{IDCANCEL, nullptr};
}

}  // namespace testing_parts
