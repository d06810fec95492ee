// Signed program images. Signing a Windows program appends its certificate
// table (the security directory) to the file, behind the payload archive, so
// the archive's end record no longer ends the file. The reader therefore
// looks for the archive as if the file ended where that table begins.
#ifndef ZIP_SIGNED_IMAGE_H
#define ZIP_SIGNED_IMAGE_H

#include <cstdint>

// Where the certificate table of the PE image open on `fd` begins, when the
// image's security directory names a table that is exactly the file's tail
// (`length` is the file's length); -1 for every other file: not a PE image,
// unsigned, or a security directory that points anywhere else. When
// `directoryAt` is not null it receives the file position of the 8-byte
// security directory entry (table position, table size), or -1.
//
// Never reads the file's first 60 bytes: the launcher's instance lock holds
// byte 0 of its own program file while the archive is read. Leaves the file
// position undefined.
int64_t zipSignedImageEnd(int fd, int64_t length, int32_t *directoryAt);

#endif
