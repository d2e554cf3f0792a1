#include "synthetic_volume.h"

namespace kestrum::test {

std::string SyntheticVolume::DeletedContent() {
  std::string s;
  for (int i = 0; s.size() < 8000; ++i) s += "deleted line " + std::to_string(i) + "\n";
  s.resize(8000);
  return s;
}

std::string SyntheticVolume::HolesContent() {
  std::string s(4096, 'A');
  s += std::string(2 * 4096, '\0');
  s += std::string(4096 - 100, 'B');
  return s;
}

SyntheticVolume::SyntheticVolume(std::uint32_t start) : volume(kSectors, start) {
  const std::uint64_t t = FileTimeOf(kMtime);
  RecordBuilder mft = volume.MftRecord(kMftClusters);
  volume.PutRecord(0, mft);
  volume.PutMirrorRecord(0, mft);
  RecordBuilder mirror(1, 1);
  mirror.FileName(5, u"$MFTMirr", 3).NonResidentData(EncodeRuns({{8, 1}}), 4096);
  volume.PutRecord(1, mirror);
  volume.PutMirrorRecord(1, mirror);

  RecordBuilder root(5, 3);
  root.StandardInfo(t, t).FileName(5, u".", 3).IndexRoot({{kDocs, u"docs", 1}, {kTrash, u"trash", 1}});
  volume.PutRecord(5, root);

  RecordBuilder docs(kDocs, 3);
  docs.StandardInfo(t, t).FileName(5, u"docs", 1).IndexRoot({{kResident, u"a.txt", 1}});
  volume.PutRecord(kDocs, docs);

  RecordBuilder resident(kResident, 1);
  resident.StandardInfo(t, t + 10000000).FileName(kDocs, u"a.txt", 1).ResidentData("small text\n");
  volume.PutRecord(kResident, resident);

  RecordBuilder deleted(kDeleted, 0);
  deleted.StandardInfo(t, t).FileName(kDocs, u"old.bin", 1)
      .NonResidentData(EncodeRuns({{kDeletedCluster, 2}}), DeletedContent().size());
  volume.PutRecord(kDeleted, deleted);
  volume.PutBytesAtCluster(kDeletedCluster, DeletedContent());

  RecordBuilder orphan(kOrphan, 1);
  orphan.FileName(200, u"orphan.txt", 1).ResidentData("lost");
  volume.PutRecord(kOrphan, orphan);

  RecordBuilder posix(kPosix, 1);
  posix.StandardInfo(t, t).FileName(5, u"posix.txt", 0).ResidentData("from linux");
  volume.PutRecord(kPosix, posix);

  RecordBuilder dosOnly(kDosOnly, 1);
  dosOnly.FileName(5, u"DOS~1.TXT", 2);
  volume.PutRecord(kDosOnly, dosOnly);

  RecordBuilder misnumbered(9999, 1);
  misnumbered.FileName(5, u"misnumbered.txt", 1).ResidentData("?");
  volume.PutRecord(kMisnumbered, misnumbered);

  RecordBuilder dataFirst(kDataFirst, 1);
  dataFirst.ResidentData("no name yet").FileName(5, u"data-first.txt", 1);
  volume.PutRecord(kDataFirst, dataFirst);

  RecordBuilder trash(kTrash, 2);
  trash.StandardInfo(t, t).FileName(5, u"trash", 1);
  volume.PutRecord(kTrash, trash);

  RecordBuilder trashFile(kTrashFile, 0);
  trashFile.StandardInfo(t, t).FileName(kTrash, u"gone.txt", 1).ResidentData("gone\n");
  volume.PutRecord(kTrashFile, trashFile);

  RecordBuilder holes(kHoles, 1);
  holes.StandardInfo(t, t).FileName(5, u"sparse.bin", 1)
      .NonResidentData(EncodeRuns({{kHoleFirstCluster, 1}, {0, 2, true},
                                   {kHoleLastCluster - kHoleFirstCluster, 1}}),
                       kHolesSize);
  volume.PutRecord(kHoles, holes);
  volume.PutBytesAtCluster(kHoleFirstCluster, std::string(4096, 'A'));
  volume.PutBytesAtCluster(kHoleLastCluster, std::string(4096, 'B'));
  // The clusters behind the hole hold something else: a hole must not read them.
  volume.PutBytesAtCluster(kHoleFirstCluster + 1, std::string(4 * 4096, 'C'));
}

}  // namespace kestrum::test
