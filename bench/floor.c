/* The floor: the system calls a profile write cannot do without, and
 * nothing else. Reads the profile, writes the same bytes to a temporary file
 * beside it, flushes that, renames it over the profile, flushes the folder.
 *
 *   floor PROFILE
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const char* path = argv[1];
  char temporary[4096], folder[4096];
  snprintf(temporary, sizeof temporary, "%s.tmp", path);
  snprintf(folder, sizeof folder, "%s", path);
  char* slash = strrchr(folder, '/');
  if (slash == NULL) strcpy(folder, "."); else *slash = '\0';

  int in = open(path, O_RDONLY);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0) return 1;
  char* bytes = malloc((size_t)st.st_size + 1);
  ssize_t got = read(in, bytes, (size_t)st.st_size);
  close(in);
  if (got != st.st_size) return 1;

  int out = open(temporary, O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (out < 0 || write(out, bytes, (size_t)got) != got || fsync(out) != 0 || close(out) != 0) {
    return 1;
  }
  if (rename(temporary, path) != 0) return 1;
  int dir = open(folder, O_RDONLY | O_DIRECTORY);
  if (dir < 0 || fsync(dir) != 0) return 1;
  close(dir);
  return 0;
}
