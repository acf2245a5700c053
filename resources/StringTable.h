#pragma once

#include <QStringView>

#include <span>

// The compiled-in string table: every translatable text by id, with its
// English and Japanese form. Both languages hold the same ids.
namespace StringTable {

struct Entry
{
    int id = 0;
    QStringView english;
    QStringView japanese;
};

// Every entry, in ascending id order.
std::span<const Entry> entries();

// The entry of `id`, or nullptr when the table has none.
const Entry *find(int id);

} // namespace StringTable
