/* Lorix: the setup manifest library. Plain C exports, caller-cleanup (cdecl),
   texts are NUL-terminated in the ANSI code page, output buffers belong to the
   caller and must hold the field (see the widths in the comments). */
#ifndef LORIX_H_
#define LORIX_H_

#ifdef __cplusplus
extern "C" {
#endif

#ifndef LORIXAPI
#define LORIXAPI __cdecl
#endif

/* Manifest as a whole. */
int LORIXAPI LoadSetupFile(const char* path);
int LORIXAPI SaveSetupFile(const char* path);
int LORIXAPI ClearInMemory(void);
int LORIXAPI GetSetupLastErrorMsg(char* message /* 512 */);

/* Configuration fields (values at most 1023 bytes). */
int LORIXAPI GetElementField(const char* name, char* value);
int LORIXAPI SetElementField(const char* name, const char* value);

/* File entries: source path, file name, folder 260; version 128; target OS 20;
   shortcut 10; display name 130. */
int LORIXAPI GetFileCount(void);
int LORIXAPI GetFileInfo(int index, char* source_path, char* file_name, char* folder, char* version,
                         char* target_os, char* shortcut, char* display_name, int* icon_index,
                         int* self_register, int* overwrite, int* file_size, int* real_time,
                         int* reboot);
int LORIXAPI SetFileInfo(const char* source_path, const char* file_name, const char* folder,
                         const char* version, const char* target_os, const char* shortcut,
                         const char* display_name, int icon_index, int self_register, int overwrite,
                         int file_size, int real_time, int reboot);

/* Registry entries: path, key, value 1024. */
int LORIXAPI GetRegistryCount(void);
int LORIXAPI GetRegistryInfo(int index, char* path, char* key, int* type, char* value, int* action);
int LORIXAPI SetRegistryInfo(const char* path, const char* key, int type, const char* value,
                             int action);

/* Windows whose processes are ended before installing and before updating (1024 each). */
int LORIXAPI GetPreKillProcessCount(void);
int LORIXAPI GetPreKillProcess(int index, char* class_name, char* title);
int LORIXAPI SetPreKillProcess(const char* class_name, const char* title);
int LORIXAPI GetUpKillProcessCount(void);
int LORIXAPI GetUpKillProcess(int index, char* class_name, char* title);
int LORIXAPI SetUpKillProcess(const char* class_name, const char* title);

/* Command lists (commands at most 2047 bytes). */
int LORIXAPI GetPreExecuteCount(void);
int LORIXAPI GetPreExecute(int index, char* command);
int LORIXAPI SetPreExecute(const char* command);
int LORIXAPI GetPostExecuteCount(void);
int LORIXAPI GetPostExecute(int index, char* command);
int LORIXAPI SetPostExecute(const char* command);
int LORIXAPI GetUpdateExecuteCount(void);
int LORIXAPI GetUpdateExecute(int index, char* command);
int LORIXAPI SetUpdateExecute(const char* command);
int LORIXAPI GetDeleteExecuteCount(void);
int LORIXAPI GetDeleteExecute(int index, char* command);
int LORIXAPI SetDeleteExecute(const char* command);

/* Reserved words of setup paths (SHORT and meaning 1024). */
int LORIXAPI GetReservedWordCount(void);
int LORIXAPI GetReservedWord(int index, char* short_text, char* meaning);
int LORIXAPI SetReservedWord(const char* short_text, const char* meaning, const char* real_text);

/* Version and path utilities. */
int LORIXAPI SetupPathToRealPath(const char* setup_path, char* real_path /* 1024 */);
int LORIXAPI GetTargetFileVersion(const char* path, char* version /* 128 */);
int LORIXAPI ChangeInstallExeVersion(const char* unused, int major, int minor, int build,
                                     int revision);
int LORIXAPI GetSpcialDirectoryInCurrentSystem(int folder_type, int all_users,
                                               char* folder /* 260 */, int version_code);
int LORIXAPI GetTempInstallPath(char* folder /* 260 */);
int LORIXAPI GetProtectedFilePath(char* folder /* 260 */, const char* name);

#ifdef __cplusplus
}
#endif

#endif /* LORIX_H_ */
