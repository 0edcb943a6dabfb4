// zvpack keygen: a new private key, written only where no file exists yet.
#include <fcntl.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/zvpack/Commands.h"
#include "tools/zvpack/PackerKeys.h"

const char KeygenHelp[] =
    "usage: zvpack keygen OUT.pem\n"
    "\n"
    "Makes a new RSA-2048 private key with the exponent 65537 and writes it to OUT.pem\n"
    "(PKCS#8 PEM, readable by its owner only). An existing file is never overwritten.\n"
    "A package needs two keys, one to sign it and one to seal its header; the launcher\n"
    "embeds their public halves (openssl rsa -in OUT.pem -pubout).\n";

int KeygenCommand(int argc, char** argv) {
  if (argc != 1) return UsageError(KeygenHelp, "keygen takes exactly one file name", nullptr);
  const char* path = argv[0];
  int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (descriptor < 0) {
    PackerError(
        errno == EEXIST ? "'%s' already exists; it is not overwritten" : "cannot create '%s'",
        path);
    return ExitFailed;
  }
  FILE* file = fdopen(descriptor, "wb");
  EVP_PKEY* key = EVP_RSA_gen(2048);  // exponent 65537
  bool ok = file && key && PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
  EVP_PKEY_free(key);
  if (file) {
    ok = fclose(file) == 0 && ok;
  } else {
    close(descriptor);
  }
  if (!ok) {
    remove(path);
    PackerError("could not make or write the key '%s'", path);
    return ExitFailed;
  }
  printf("Wrote the private key '%s'\n", path);
  return ExitOk;
}
