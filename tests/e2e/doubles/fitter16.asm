; fitter16.exe: the Windows 95/98 install helper as it really is, a 16-bit
; Windows program (NE format, expected Windows version 3.10), for the Wine
; tier, the realbus tier, the demo and the example CD.
;
; Does what fitter16.cpp does, within what Windows 3.1 offers a program:
; shows from its task a visible top-level window with a button of id 1; a
; click on it "installs" and the program ends with the chosen exit code.
; Set by the environment the launcher passes on:
;   FITTER16_LOG      file to append JSON lines to: "start" (command line,
;                     working directory), "window" once the window shows (or
;                     "nowindow", and it ends with 0xBA), "clicked", "end"
;   FITTER16_SHOW_MS  delay before the window shows (default 0)
;   FITTER16_EXIT     exit code, 0-255 (decimal or 0x hex, default 0)
;   FITTER16_MODE     "endearly": ends after FITTER16_SHOW_MS without showing
;                     a window; "decoys": first a hidden and an off-screen
;                     window, then the real one 300 ms later
;   FITTER16_WORK_MS  how long the work after the click takes (default 100)
;
; What a 16-bit program cannot give the log the same way: it receives only
; the text after its own name, so "cmdline" is "fitter16.exe" followed by
; that text; its working directory comes from DOS (function 47h), which on
; Windows gives the short name; its exit code is one byte.
;
; The file is laid out by hand: MZ stub, NE header, segment table, resource
; table (empty), resident and non-resident names, module references,
; imported names, entry table, then the two segments, each with its
; relocation records. The layout follows Microsoft's "Executable-File Header
; Format" (NE). Imports go through far pointers in the data segment, one
; relocation each, so the code segment needs none.
;
; Build: nasm -f bin -o fitter16.exe fitter16.asm

bits 16
cpu 386

%define SHIFT 4                 ; file alignment: 16-byte units
%define HEAP_SIZE 0x0400
%define STACK_SIZE 0x2000

%define WM_DESTROY 0x0002
%define WM_COMMAND 0x0111
%define WM_TIMER 0x0113
%define TIMER_SHOW 1
%define TIMER_WORK 2

file_start:

; ----------------------------------------------------------------- MZ stub
mz:
    db 'MZ'
    dw (stub_end - file_start) % 512        ; bytes in the last page
    dw (stub_end - file_start + 511) / 512  ; pages
    dw 0                                    ; relocations
    dw 4                                    ; header paragraphs (64 bytes)
    dw 0, 0xFFFF                            ; min, max extra paragraphs
    dw 0, 0x100                             ; SS, SP
    dw 0                                    ; checksum
    dw 0, 0                                 ; IP, CS
    dw 0x40                                 ; relocation table: a new-format file
    dw 0                                    ; overlay
    times 0x3C - ($ - mz) db 0
    dd ne - file_start
stub:                                       ; run under DOS: say so and end
    push cs
    pop ds
    mov dx, stub_text - stub
    mov ah, 9
    int 0x21
    mov ax, 0x4C01
    int 0x21
stub_text:
    db 'This program requires Microsoft Windows.', 13, 10, '$'
stub_end:
    align 16, db 0

; --------------------------------------------------------------- NE header
ne:
    db 'NE'
    db 5, 10                                ; linker version
    dw entry_table - ne
    dw entry_table_end - entry_table
    dd 0                                    ; file CRC (not used by Windows)
    dw 0x0302                               ; multiple data (an application), uses the Windows API
    dw 2                                    ; automatic data segment
    dw HEAP_SIZE
    dw STACK_SIZE
    dw start - code_seg, 1                  ; CS:IP
    dw 0, 2                                 ; SS:SP: top of the automatic data segment
    dw 2                                    ; segments
    dw 2                                    ; module references
    dw nonresident_end - nonresident
    dw segment_table - ne
    dw resident_names - ne                  ; resource table: empty
    dw resident_names - ne
    dw module_references - ne
    dw imported_names - ne
    dd nonresident - file_start
    dw 1                                    ; movable entry points
    dw SHIFT
    dw 0                                    ; resource segments
    db 2                                    ; target: Windows
    db 0                                    ; no fast-load area
    dw 0, 0
    dw 0                                    ; minimum code swap area
    dw 0x030A                               ; expected Windows version 3.10

segment_table:
    ; code: movable, preloaded, no relocations
    dw (code_seg - file_start) >> SHIFT, code_end - code_seg, 0x0050, code_end - code_seg
    ; data: movable, preloaded, with relocations
    dw (data_seg - file_start) >> SHIFT, data_end - data_seg, 0x0151, data_end - data_seg

resident_names:
    db 8, 'FITTER16'
    dw 0
    db 7, 'WNDPROC'
    dw 1
    db 0

module_references:
    dw kernel_name - imported_names
    dw user_name - imported_names

imported_names:
    db 0
kernel_name:
    db 6, 'KERNEL'
user_name:
    db 4, 'USER'

entry_table:
    db 1, 0xFF                              ; one movable entry
    db 0x01                                 ; exported
    db 0xCD, 0x3F                           ; int 3Fh
    db 1                                    ; segment 1
    dw wndproc - code_seg
    db 0
entry_table_end:

nonresident:
    db 31, 'Install helper stand-in (tests)'
    dw 0
    db 0
nonresident_end:

    align 16, db 0

; ------------------------------------------------------------ code segment
code_seg:

; Windows keeps SI, DI, BP and DS across a call, not ES: every routine here
; stores through ES, so it is set back to the data segment after each call.
%macro CALLAPI 1
    call far [%1 - data_seg]
    push ds
    pop es
%endmacro

; Pushes a far pointer to a label of the data segment.
%macro PUSHDATA 1
    push ds
    push word %1 - data_seg
%endmacro

start:
    xor bp, bp
    push bp
    call far [p_InitTask - data_seg]        ; ES:BX the command line in the PSP: kept before ES is reset
    mov [cmd_off - data_seg], bx
    mov [cmd_seg - data_seg], es
    push ds
    pop es
    or ax, ax
    jnz .task
    mov al, 0xBA
    jmp exit_now
.task:
    mov [hInstance - data_seg], di
    push word 0
    CALLAPI p_WaitEvent
    push word [hInstance - data_seg]
    CALLAPI p_InitApp

    call read_settings
    call copy_tail
    call read_cwd

    ; start: {"event":"start","tick":N,"cmdline":"fitter16.exe<tail>","cwd":"<drive>:\<dir>"}
    mov si, ev_start - data_seg
    call log_begin
    mov si, key_cmdline - data_seg
    call put_str
    mov si, own_name - data_seg
    call put_str
    mov si, tail - data_seg
    call put_json
    mov si, key_cwd - data_seg
    call put_str
    mov si, cwd - data_seg
    call put_json
    mov al, '"'
    stosb
    call log_end

    ; the window class
    mov ax, [hInstance - data_seg]
    mov [wc_instance - data_seg], ax
    mov word [wc_proc - data_seg], wndproc - code_seg
    mov [wc_proc - data_seg + 2], cs
    mov [wc_class - data_seg + 2], ds
    push word 0
    push word 0
    push word 32512                         ; IDC_ARROW
    CALLAPI p_LoadCursor
    mov [wc_cursor - data_seg], ax
    PUSHDATA wndclass
    CALLAPI p_RegisterClass

    cmp byte [mode - data_seg], 'd'         ; decoys: neither may be taken
    jne .real
    mov si, title_hidden - data_seg
    xor eax, eax
    mov bx, 10
    call create_top
    mov si, title_off - data_seg
    mov eax, 0x10000000                     ; WS_VISIBLE
    mov bx, -1
    call create_top
    add dword [show_ms - data_seg], 300
.real:
    mov si, title_main - data_seg
    xor eax, eax                            ; hidden until it is due
    mov bx, 100
    call create_top
    or ax, ax
    jnz .made
    mov si, ev_nowindow - data_seg
    call log_begin
    mov si, key_error0 - data_seg
    call put_str
    call log_end
    mov al, 0xBA
    jmp exit_now
.made:
    mov [hMain - data_seg], ax
    call add_controls
    mov eax, [show_ms - data_seg]
    or eax, eax
    jnz .later
    call show_now
    jmp .loop
.later:
    push word [hMain - data_seg]
    push word TIMER_SHOW
    push ax
    push word 0
    push word 0
    CALLAPI p_SetTimer

.loop:
    PUSHDATA msg
    push word 0
    push word 0
    push word 0
    CALLAPI p_GetMessage
    or ax, ax
    jz .done
    PUSHDATA msg
    CALLAPI p_TranslateMessage
    PUSHDATA msg
    CALLAPI p_DispatchMessage
    jmp .loop
.done:
    mov si, ev_end - data_seg
    call log_begin
    mov si, key_code - data_seg
    call put_str
    movzx eax, byte [exit_code - data_seg]
    call put_dec
    call log_end
    mov al, [exit_code - data_seg]
exit_now:
    mov ah, 0x4C
    CALLAPI p_DOS3Call
    jmp exit_now

; A top-level window of our class: SI its title, EAX extra style, BX its
; left edge (top 10 for the decoys, 100 for the main one). Gives AX.
create_top:
    PUSHDATA class_name
    push ds
    push si
    or eax, 0x00CF0000                      ; WS_OVERLAPPEDWINDOW
    push eax
    push bx
    push bx                                 ; top = left
    push word 420
    push word 160
    push word 0
    push word 0
    push word [hInstance - data_seg]
    push dword 0
    CALLAPI p_CreateWindow
    ret

; The text and the button of id 1 inside the main window.
add_controls:
    PUSHDATA class_static
    PUSHDATA tail
    push dword 0x50000000                   ; WS_CHILD | WS_VISIBLE
    push word 10
    push word 10
    push word 390
    push word 60
    push word [hMain - data_seg]
    push word 0
    push word [hInstance - data_seg]
    push dword 0
    CALLAPI p_CreateWindow
    PUSHDATA class_button
    PUSHDATA title_button
    push dword 0x50000001                   ; WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON
    push word 160
    push word 80
    push word 100
    push word 28
    push word [hMain - data_seg]
    push word 1                             ; control id 1
    push word [hInstance - data_seg]
    push dword 0
    CALLAPI p_CreateWindow
    ret

; Shows the main window and says so (or ends, in "endearly" mode).
show_now:
    cmp byte [mode - data_seg], 'e'
    jne .show
    push word [hMain - data_seg]
    CALLAPI p_DestroyWindow
    ret
.show:
    push word [hMain - data_seg]
    push word 1                             ; SW_SHOWNORMAL
    CALLAPI p_ShowWindow
    mov si, ev_window - data_seg
    call log_begin
    mov si, key_hwnd - data_seg
    call put_str
    movzx eax, word [hMain - data_seg]
    call put_dec
    call log_end
    ret

; The window procedure: far pascal (hwnd, msg, wParam, lParam). An
; application's stack lies in its automatic data segment, so SS is DS.
wndproc:
    push bp
    mov bp, sp
    push ds
    push si
    push di
    push es
    push ss
    pop ds
    push ds
    pop es
    mov ax, [bp + 12]                       ; message
    cmp ax, WM_COMMAND
    je .command
    cmp ax, WM_TIMER
    je .timer
    cmp ax, WM_DESTROY
    je .destroy
.default:
    push word [bp + 14]
    push word [bp + 12]
    push word [bp + 10]
    push dword [bp + 6]
    CALLAPI p_DefWindowProc
    jmp .out
.command:
    cmp word [bp + 10], 1
    jne .default
    cmp byte [clicked - data_seg], 0
    jne .zero
    mov byte [clicked - data_seg], 1
    mov si, ev_clicked - data_seg
    call log_begin
    call log_end
    push word [bp + 14]
    push word TIMER_WORK
    mov ax, [work_ms - data_seg]
    or ax, ax
    jnz .work
    inc ax
.work:
    push ax
    push dword 0
    CALLAPI p_SetTimer
    jmp .zero
.timer:
    push word [bp + 14]
    push word [bp + 10]
    CALLAPI p_KillTimer
    cmp word [bp + 10], TIMER_SHOW
    jne .worked
    call show_now
    jmp .zero
.worked:
    push word [bp + 14]
    CALLAPI p_DestroyWindow
    jmp .zero
.destroy:
    mov ax, [bp + 14]
    cmp ax, [hMain - data_seg]
    jne .zero
    push word 0
    CALLAPI p_PostQuitMessage
.zero:
    xor ax, ax
    xor dx, dx
.out:
    pop es
    pop di
    pop si
    pop ds
    pop bp
    retf 10

; ------------------------------------------------------------- the settings

; The environment's value of the variable whose "NAME=" is at SI, copied to
; DI (at most CX-1 bytes, terminated). Empty when absent.
get_env:
    push ds
    push di
    mov byte [di], 0
    push cx
    push si
    CALLAPI p_GetDOSEnvironment
    pop si
    pop cx
    mov bx, ax                              ; DX:BX the environment
    mov es, dx
.entry:
    cmp byte [es:bx], 0
    je .none
    push si
    mov di, bx
.compare:
    lodsb
    cmp al, '='
    je .match_end
    cmp al, [es:di]
    jne .next
    inc di
    jmp .compare
.match_end:
    cmp byte [es:di], '='
    jne .next
    pop si
    inc di                                  ; ES:DI the value
    pop bx                                  ; the destination
    push bx
    dec cx
.copy:
    jcxz .ended
    mov al, [es:di]
    or al, al
    jz .ended
    mov [bx], al
    inc bx
    inc di
    dec cx
    jmp .copy
.ended:
    mov byte [bx], 0
    jmp .none
.next:
    pop si
.skip:                                      ; to the entry after this one
    cmp byte [es:bx], 0
    je .skipped
    inc bx
    jmp .skip
.skipped:
    inc bx
    jmp .entry
.none:
    pop di
    pop ds
    push ds
    pop es
    ret

; The number at SI (decimal, or hexadecimal after 0x) in EAX.
parse_number:
    xor eax, eax
    xor ecx, ecx
    cmp word [si], '0x'
    je .hexstart
    cmp word [si], '0X'
    je .hexstart
.dec:
    mov cl, [si]
    sub cl, '0'
    cmp cl, 9
    ja .done
    imul eax, eax, 10
    add eax, ecx
    inc si
    jmp .dec
.hexstart:
    add si, 2
.hex:
    mov cl, [si]
    or cl, 0x20
    sub cl, '0'
    cmp cl, 9
    jbe .digit
    sub cl, 'a' - '0'
    cmp cl, 5
    ja .done
    add cl, 10
.digit:
    shl eax, 4
    add eax, ecx
    inc si
    jmp .hex
.done:
    ret

read_settings:
    mov si, env_log - data_seg
    mov di, log_path - data_seg
    mov cx, 128
    call get_env
    mov si, env_mode - data_seg
    mov di, number - data_seg
    mov cx, 16
    call get_env
    mov al, [number - data_seg]
    mov ah, [number - data_seg + 1]
    cmp al, 'e'
    jne .decoys
    cmp ah, 'n'                             ; "endearly"
    je .mode
.decoys:
    cmp al, 'd'
    jne .nomode
    cmp ah, 'e'                             ; "decoys"
    je .mode
.nomode:
    xor al, al
.mode:
    mov [mode - data_seg], al
    mov si, env_show - data_seg
    mov di, number - data_seg
    mov cx, 16
    call get_env
    mov si, number - data_seg
    call parse_number
    cmp eax, 60000                          ; a timer counts 16 bits of milliseconds
    jbe .show
    mov eax, 60000
.show:
    mov [show_ms - data_seg], eax
    mov si, env_exit - data_seg
    mov di, number - data_seg
    mov cx, 16
    call get_env
    mov si, number - data_seg
    call parse_number
    mov [exit_code - data_seg], al
    mov si, env_work - data_seg
    mov di, number - data_seg
    mov cx, 16
    call get_env
    mov ax, 100
    cmp byte [number - data_seg], 0
    je .work
    mov si, number - data_seg
    call parse_number
    cmp eax, 60000
    jbe .work
    mov ax, 60000
.work:
    mov [work_ms - data_seg], ax
    ret

; The command tail from the PSP, as " <text>" (empty when there is none),
; terminated. InitTask's ES:BX points past the tail's leading blanks; the
; length byte at 80h counts from 81h, and a CR (or, under Wine, a zero)
; may end the text before it.
copy_tail:
    push ds
    mov di, tail - data_seg
    lds si, [cmd_off - data_seg]
    mov cl, [0x80]
    xor ch, ch
    add cx, 0x81                            ; the end of the text
    sub cx, si
    jbe .done                               ; nothing past the blanks
    cmp cx, 126
    jbe .blank
    mov cx, 126
.blank:
    mov al, ' '
    stosb
.copy:
    lodsb
    cmp al, 13
    je .done
    or al, al
    jz .done
    stosb
    loop .copy
.done:
    mov byte [es:di], 0
    pop ds
    ret

; The current drive and directory from DOS: "C:\DIR".
read_cwd:
    mov ah, 0x19
    CALLAPI p_DOS3Call
    add al, 'A'
    mov di, cwd - data_seg
    stosb
    mov ax, ':\'
    stosw
    mov si, di
    mov ah, 0x47
    xor dl, dl
    CALLAPI p_DOS3Call
    jnc .ok
    mov byte [si], 0
.ok:
    ret

; ------------------------------------------------------------- the log

; Starts the line {"event":"<SI>","tick":N in the line buffer; DI its end.
log_begin:
    push si
    mov di, line - data_seg
    mov si, text_event - data_seg
    call put_str
    pop si
    call put_str
    mov si, text_tick - data_seg
    call put_str
    CALLAPI p_GetTickCount
    shl edx, 16
    mov dx, ax
    mov eax, edx
    call put_dec
    ret

; Ends the line at DI with }\n and appends it to the log in one write.
log_end:
    mov ax, 0x0A7D                          ; "}\n"
    stosw
    cmp byte [log_path - data_seg], 0
    je .out
    sub di, line - data_seg
    mov [line_len - data_seg], di
    PUSHDATA log_path
    push word 0x42                          ; read/write, deny none
    CALLAPI p_lopen
    cmp ax, -1
    jne .opened
    PUSHDATA log_path
    push word 0
    CALLAPI p_lcreat
    cmp ax, -1
    je .out
.opened:
    mov [log_file - data_seg], ax
    push ax
    push dword 0
    push word 2                             ; from the end
    CALLAPI p_llseek
    push word [log_file - data_seg]
    PUSHDATA line
    push word [line_len - data_seg]
    CALLAPI p_lwrite
    push word [log_file - data_seg]
    CALLAPI p_lclose
.out:
    ret

; Copies the text at SI to DI.
put_str:
    lodsb
    or al, al
    jz .done
    stosb
    jmp put_str
.done:
    ret

; Copies the text at SI to DI as JSON string content (at most 200 bytes,
; each escaped byte takes six).
put_json:
    mov cx, 200
.next:
    lodsb
    or al, al
    jz .done
    cmp al, '"'
    je .escape
    cmp al, '\'
    je .escape
    cmp al, 0x20
    jb .unicode
    cmp al, 0x7F
    jae .unicode
    stosb
    jmp .counted
.escape:
    mov byte [di], '\'
    inc di
    stosb
    jmp .counted
.unicode:
    push ax
    mov word [di], '\u'
    mov word [di + 2], '00'
    add di, 4
    pop ax
    push ax
    shr al, 4
    call hex_digit
    pop ax
    and al, 0x0F
    call hex_digit
.counted:
    loop .next
.done:
    ret

hex_digit:
    add al, '0'
    cmp al, '9'
    jbe .out
    add al, 'a' - '9' - 1
.out:
    stosb
    ret

; EAX in decimal at DI.
put_dec:
    mov ebx, 10
    xor cx, cx
.divide:
    xor edx, edx
    div ebx
    push dx
    inc cx
    or eax, eax
    jnz .divide
.write:
    pop ax
    add al, '0'
    stosb
    loop .write
    ret

code_end:
    align 16, db 0

; What the stand-in imports: name, module (1 KERNEL, 2 USER), ordinal.
%macro IMPORT_LIST 1
    %1 InitTask, 1, 91
    %1 WaitEvent, 1, 30
    %1 GetDOSEnvironment, 1, 131
    %1 DOS3Call, 1, 102
    %1 lopen, 1, 85
    %1 lcreat, 1, 83
    %1 llseek, 1, 84
    %1 lwrite, 1, 86
    %1 lclose, 1, 81
    %1 InitApp, 2, 5
    %1 PostQuitMessage, 2, 6
    %1 SetTimer, 2, 10
    %1 KillTimer, 2, 12
    %1 GetTickCount, 2, 13
    %1 CreateWindow, 2, 41
    %1 ShowWindow, 2, 42
    %1 DestroyWindow, 2, 53
    %1 RegisterClass, 2, 57
    %1 DefWindowProc, 2, 107
    %1 GetMessage, 2, 108
    %1 TranslateMessage, 2, 113
    %1 DispatchMessage, 2, 114
    %1 LoadCursor, 2, 173
%endmacro

; ------------------------------------------------------------ data segment
data_seg:
    times 16 db 0                           ; kept for the task (InitTask writes here)

; Far pointers to the imported functions, filled by the loader.
%macro IMPORT 3                             ; name, module, ordinal
p_%1: dd 0xFFFF
%endmacro
imports:
IMPORT_LIST IMPORT
imports_end:

hInstance: dw 0
hMain: dw 0
cmd_off: dw 0
cmd_seg: dw 0
show_ms: dd 0
work_ms: dw 100
exit_code: db 0
mode: db 0
clicked: db 0
log_file: dw 0
line_len: dw 0

wndclass:
    dw 0                                    ; style
wc_proc:
    dd 0
    dw 0, 0                                 ; class and window extra bytes
wc_instance:
    dw 0
    dw 0                                    ; icon
wc_cursor:
    dw 0
    dw 16                                   ; COLOR_BTNFACE + 1
    dd 0                                    ; menu
wc_class:
    dw class_name - data_seg, 0

msg: times 18 db 0

class_name: db 'Fitter16', 0
class_static: db 'STATIC', 0
class_button: db 'BUTTON', 0
title_main: db 'Display driver installation', 0
title_hidden: db 'hidden', 0
title_off: db 'off screen', 0
title_button: db 'Install', 0
own_name: db 'fitter16.exe', 0

env_log: db 'FITTER16_LOG=', 0
env_show: db 'FITTER16_SHOW_MS=', 0
env_exit: db 'FITTER16_EXIT=', 0
env_mode: db 'FITTER16_MODE=', 0
env_work: db 'FITTER16_WORK_MS=', 0

text_event: db '{"event":"', 0
text_tick: db '","tick":', 0
ev_start: db 'start', 0
ev_window: db 'window', 0
ev_nowindow: db 'nowindow', 0
ev_clicked: db 'clicked', 0
ev_end: db 'end', 0
key_cmdline: db ',"cmdline":"', 0
key_cwd: db '","cwd":"', 0
key_hwnd: db ',"hwnd":', 0
key_code: db ',"code":', 0
key_error0: db ',"error":0', 0

number: times 16 db 0
log_path: times 128 db 0
tail: times 128 db 0
cwd: times 72 db 0
line: times 1400 db 0
data_end:

; Relocations of the data segment: each import's far pointer.
%macro RELOC 3
    db 3, 1                                 ; 32-bit far pointer, imported ordinal
    dw p_%1 - data_seg, %2, %3
%endmacro
    dw (imports_end - imports) / 4
IMPORT_LIST RELOC
