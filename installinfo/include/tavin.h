/* Tavin: installation information of a product. Caller-cleanup (cdecl) exports;
   texts in the ANSI code page, buffers owned by the caller. GetInstallPath has
   C++ linkage: it is exported under the name a Microsoft C++ compiler gives
   void GetInstallPath(char*) (x86 "?GetInstallPath@@YAXPAD@Z",
   x64 "?GetInstallPath@@YAXPEAD@Z"); the other functions under plain names. */
#ifndef TAVIN_H_
#define TAVIN_H_

#ifndef TAVINAPI
#define TAVINAPI __cdecl
#endif

#ifdef __cplusplus
extern "C" {
#endif

void TAVINAPI SetRootPath(const char* folder /* ends with a backslash, at most 259 bytes */);
int TAVINAPI GetInstallState(void);
int TAVINAPI GetMainVersion(char* version /* 1024 */);
int TAVINAPI GetLanguage(void);
int TAVINAPI GetInstalledFileCount(void);
int TAVINAPI GetInstalledFileInfomation(int index, char* manifest_version /* 128 */,
                                        char* installed_version /* 128 */);
int TAVINAPI LiveUpdate(int number);
int TAVINAPI MonitoringInstalledFiles(void);
void TAVINAPI PauseMonitoring(void);

#ifdef __cplusplus
}
#endif

#if defined(_WIN64)
#define TAVIN_GET_INSTALL_PATH_EXPORT "?GetInstallPath@@YAXPEAD@Z"
#else
#define TAVIN_GET_INSTALL_PATH_EXPORT "?GetInstallPath@@YAXPAD@Z"
#endif
/* void GetInstallPath(char* folder): 260 bytes; left alone while no root is set. */
typedef void(TAVINAPI* TavinGetInstallPathFn)(char* folder);

#endif /* TAVIN_H_ */
