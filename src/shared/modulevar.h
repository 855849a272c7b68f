// Modulevar: the objects shared by every panel of the process.
//
// One copy per process, used on the user-interface thread only: the database link, one table
// handle per table and one record buffer per table (the last record read from it), and the
// host's client object, kept but never read. OpenTables creates the handles, the panel's reads
// fill the buffers, CloseTables releases them all; ending one panel releases them for every
// other panel of the process.
#pragma once

#include <memory>

#include "components/database.h"
#include "components/ref.h"

namespace varnolde::Modulevar {

inline std::shared_ptr<void> Theclient;
inline Ref<DatabaseLink> theDataBase;

// Table handles.
inline Ref<DbFile> TabAssociation;
inline Ref<DbFile> TabPeriodesPaie;
inline Ref<DbFile> TabContrat;
inline Ref<DbFile> TabCivilAidant;
inline Ref<DbFile> TabAcompteBull;
inline Ref<DbFile> TabCivilAide;
inline Ref<DbFile> TabDetailCalcul;

// Record buffers.
inline Ref<DbRecord> RecAssociation;
inline Ref<DbRecord> RecPeriodesPaie;
inline Ref<DbRecord> RecContrat;
inline Ref<DbRecord> RecCivilAidant;
inline Ref<DbRecord> RecAcompteBull;
inline Ref<DbRecord> RecCivilAide;
inline Ref<DbRecord> RecDetailCalcul;

}  // namespace varnolde::Modulevar
