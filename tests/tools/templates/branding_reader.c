/* Reads an executable's branding the way Windows reads it, for the tests: the PE checksum that
 * imagehlp computes beside the stored one, the version information (fixed numbers, translation,
 * strings, printed as UTF-8), and the updater's icon (101) as loaded for 16, 32 and 48 pixels,
 * with the colour at its centre.
 *
 *   branding_reader FILE.exe */
#include <stdio.h>
#include <windows.h>
#include <imagehlp.h>

static void printUtf8(const wchar_t* text) {
  char out[4096];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, NULL, NULL);
  printf("%s", length > 0 ? out : "(unconvertible)");
}

static void printVersion(const wchar_t* file) {
  static const wchar_t* keys[] = {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                  L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"};
  DWORD ignored = 0, size = GetFileVersionInfoSizeW(file, &ignored);
  BYTE* data;
  VS_FIXEDFILEINFO* fixed;
  WORD* translation;
  UINT length;
  size_t i;
  if (size == 0) {
    printf("version none\n");
    return;
  }
  data = (BYTE*)malloc(size);
  if (!GetFileVersionInfoW(file, 0, size, data)) {
    printf("version unreadable\n");
    free(data);
    return;
  }
  if (VerQueryValueW(data, L"\\", (void**)&fixed, &length) && length >= sizeof *fixed)
    printf("fixed file %u.%u.%u.%u product %u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
           HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
           LOWORD(fixed->dwProductVersionLS));
  if (!VerQueryValueW(data, L"\\VarFileInfo\\Translation", (void**)&translation, &length) || length < 4) {
    printf("translation none\n");
    free(data);
    return;
  }
  printf("translation %04x %04x\n", translation[0], translation[1]);
  for (i = 0; i < sizeof keys / sizeof keys[0]; i++) {
    wchar_t query[128];
    wchar_t* value;
    swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], keys[i]);
    printUtf8(keys[i]);
    printf("=");
    if (VerQueryValueW(data, query, (void**)&value, &length) && length > 0)
      printUtf8(value);
    else
      printf("(none)");
    printf("\n");
  }
  free(data);
}

static void printIcon(HMODULE module, int size) {
  HICON icon = (HICON)LoadImageW(module, MAKEINTRESOURCEW(101), IMAGE_ICON, size, size, 0);
  ICONINFO info;
  BITMAP bitmap;
  BITMAPINFO format;
  DWORD* pixels;
  HDC screen;
  if (!icon || !GetIconInfo(icon, &info) || !info.hbmColor || !GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
    printf("icon %d none\n", size);
    return;
  }
  memset(&format, 0, sizeof format);
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = bitmap.bmWidth;
  format.bmiHeader.biHeight = -bitmap.bmHeight; /* top-down */
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  pixels = (DWORD*)calloc((size_t)bitmap.bmWidth * bitmap.bmHeight, 4);
  screen = GetDC(NULL);
  GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels, &format, DIB_RGB_COLORS);
  ReleaseDC(NULL, screen);
  printf("icon %d %ldx%ld centre %06lx\n", size, bitmap.bmWidth, bitmap.bmHeight,
         pixels[(bitmap.bmHeight / 2) * bitmap.bmWidth + bitmap.bmWidth / 2] & 0xFFFFFFUL);
  free(pixels);
  DestroyIcon(icon);
}

int wmain(int argc, wchar_t** argv) {
  DWORD stored = 0, computed = 0;
  char narrow[MAX_PATH];
  HMODULE module;
  if (argc != 2) {
    fprintf(stderr, "usage: branding_reader FILE.exe\n");
    return 2;
  }
  WideCharToMultiByte(CP_ACP, 0, argv[1], -1, narrow, sizeof narrow, NULL, NULL);
  if (MapFileAndCheckSumA(narrow, &stored, &computed) != CHECKSUM_SUCCESS) {
    printf("checksum unreadable\n");
    return 3;
  }
  printf("checksum stored %08lx computed %08lx\n", stored, computed);
  printVersion(argv[1]);
  module = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    printf("module unreadable\n");
    return 4;
  }
  printIcon(module, 16);
  printIcon(module, 32);
  printIcon(module, 48);
  FreeLibrary(module);
  return 0;
}
