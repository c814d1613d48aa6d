// The version stamp of an executable: an ELF note named "Tessaly" (type 1) holding the project's
// version as two 32-bit words, read back by GetFileVersionText. Linked as an object into every
// executable; the numbers come from the build (TESSALY_VERSION_*).

#define TESSALY_STR2(x) #x
#define TESSALY_STR(x) TESSALY_STR2(x)

__asm__(".pushsection .note.tessaly.version,\"a\",@note\n"
        ".balign 4\n"
        ".long 8\n"      // name size, "Tessaly" and its terminating zero
        ".long 8\n"      // descriptor size
        ".long 1\n"      // note type
        ".asciz \"Tessaly\"\n"
        ".balign 4\n"
        ".long (" TESSALY_STR(TESSALY_VERSION_MAJOR) " << 16) | " TESSALY_STR(TESSALY_VERSION_MINOR) "\n"
        ".long (" TESSALY_STR(TESSALY_VERSION_PATCH) " << 16) | " TESSALY_STR(TESSALY_VERSION_TWEAK) "\n"
        ".popsection\n");
