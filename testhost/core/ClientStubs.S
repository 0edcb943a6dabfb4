/*
 * The stand-in client's recording stubs. Every function offset of the image jumps to a
 * per-function stub (push its index; jmp to one of the three below), which saves every
 * register, lets ClientStubRecord journal the call and choose the result, and returns
 * the way the host function does: EAX = result, the stack values the host pops popped,
 * EBX/ESI/EDI/EBP kept, ECX and EDX spoiled (no caller may rely on them).
 *
 * pushad frame as C sees it (uint32_t *frame): [0] EDI, [1] ESI, [2] EBP, [3] ESP,
 * [4] EBX, [5] EDX, [6] ECX, [7] EAX, [8] stub index, [9] return address, [10..] stack args.
 */
	.intel_syntax noprefix
	.text

.macro RECORDING_STUB name, pops
	.globl \name
	.def \name; .scl 2; .type 32; .endef
\name:
	pushad
	push esp
	call _ClientStubRecord
	add esp, 4
	mov [esp + 28], eax
	popad
	add esp, 4
	mov ecx, 0xBAADF00D
	mov edx, 0xBAADF00D
	ret \pops
.endm

	RECORDING_STUB _ClientStubPop0, 0
	RECORDING_STUB _ClientStubPop4, 4
	RECORDING_STUB _ClientStubPop16, 16

/* The host body of the incoming-packet function, reached by a jump at ReceivePacketResume
 * after its first three instructions (sub esp,1Ch / push esi / mov esi,[esp+24h]) ran:
 * EAX = packet, ESI = length, then on the stack the saved ESI, 28 bytes, the return
 * address and the length argument, which the function pops. */
	.globl _ClientReceiveBody
	.def _ClientReceiveBody; .scl 2; .type 32; .endef
_ClientReceiveBody:
	pushad
	push esp
	call _ClientReceiveRecord
	add esp, 4
	mov [esp + 28], eax
	popad
	pop esi
	add esp, 0x1C
	ret 4

/* The host body of the send function, reached after push ebp / mov ebp,esp / and esp,-8:
 * EBX = size, [ebp+8] = packet, which the function pops. */
	.globl _ClientSendBody
	.def _ClientSendBody; .scl 2; .type 32; .endef
_ClientSendBody:
	pushad
	mov eax, esp
	push ebp
	push eax
	call _ClientSendRecord
	add esp, 8
	mov [esp + 28], eax
	popad
	mov esp, ebp
	pop ebp
	ret 4
