#pragma once

#include <cstddef>

#include "vordex.h"

namespace vordex::cli {

/// The library's exported functions, resolved at run time. The types come from
/// the public header, so a signature change there breaks this build.
struct VordexApi {
    decltype(&VORDEX_GetVersion) GetVersion = nullptr;
    decltype(&VORDEX_IsOpen) IsOpen = nullptr;
    decltype(&VORDEX_Close) Close = nullptr;
    decltype(&VORDEX_Table) Table = nullptr;
    decltype(&VORDEX_GetTableList) GetTableList = nullptr;
    decltype(&VORDEX_GetDirName) GetDirName = nullptr;
    decltype(&VORDEX_Open) Open = nullptr;
    decltype(&VORDEX_GetNameList) GetNameList = nullptr;
    decltype(&VORDEX_OpenRec) OpenRec = nullptr;
    decltype(&VORDEX_CloseRec) CloseRec = nullptr;
    decltype(&VORDEX_IsEOF) IsEOF = nullptr;
    decltype(&VORDEX_MoveNext) MoveNext = nullptr;
    decltype(&VORDEX_Seek) Seek = nullptr;
    decltype(&VORDEX_GetData) GetData = nullptr;
    decltype(&VORDEX_ListText) ListText = nullptr;
    decltype(&VORDEX_CanUpdate) CanUpdate = nullptr;
    decltype(&VORDEX_Update) Update = nullptr;
};

/// Calls `visit(exportedName, member)` for every function of VordexApi.
template <class Visit>
void ForEachFunction(VordexApi& api, Visit&& visit) {
    visit("VORDEX_GetVersion", api.GetVersion);
    visit("VORDEX_IsOpen", api.IsOpen);
    visit("VORDEX_Close", api.Close);
    visit("VORDEX_Table", api.Table);
    visit("VORDEX_GetTableList", api.GetTableList);
    visit("VORDEX_GetDirName", api.GetDirName);
    visit("VORDEX_Open", api.Open);
    visit("VORDEX_GetNameList", api.GetNameList);
    visit("VORDEX_OpenRec", api.OpenRec);
    visit("VORDEX_CloseRec", api.CloseRec);
    visit("VORDEX_IsEOF", api.IsEOF);
    visit("VORDEX_MoveNext", api.MoveNext);
    visit("VORDEX_Seek", api.Seek);
    visit("VORDEX_GetData", api.GetData);
    visit("VORDEX_ListText", api.ListText);
    visit("VORDEX_CanUpdate", api.CanUpdate);
    visit("VORDEX_Update", api.Update);
}

/// The library lists at most this many tables and reads at most this many
/// columns of a table.
constexpr int kListLimit = 32;
/// The most bytes of a value the library reads or writes.
constexpr size_t kValueLimit = 255;

}  // namespace vordex::cli
