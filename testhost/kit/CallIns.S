/*
 * CallInRun(const CallInFrame *in, CallInRegs *out): enters host code exactly as the host
 * does. Pushes in->Args (last first), loads every general register from the frame, calls
 * in->Target, and stores every register and ESP before and after the call into out.
 * Frame: Target +0, EAX +4, EBX +8, ECX +12, EDX +16, ESI +20, EDI +24, EBP +28,
 *        ArgCount +32, Args[4] +36.
 * Out:   EAX +0, EBX +4, ECX +8, EDX +12, ESI +16, EDI +20, EBP +24, EspBefore +28,
 *        EspAfter +32.
 * Not reentrant: the callee may spoil every register, so the way back is kept in statics.
 */
	.intel_syntax noprefix
	.data
	.balign 4
CallInSavedEsp: .long 0
CallInOut: .long 0
CallInTarget: .long 0
CallInEspBefore: .long 0

	.text
	.globl _CallInRun
	.def _CallInRun; .scl 2; .type 32; .endef
_CallInRun:
	push ebp
	push ebx
	push esi
	push edi
	mov esi, [esp + 20]
	mov edi, [esp + 24]
	mov dword ptr [CallInOut], edi
	mov dword ptr [CallInSavedEsp], esp
	mov ecx, [esi + 32]
1:	test ecx, ecx
	jz 2f
	push dword ptr [esi + 32 + ecx * 4]
	dec ecx
	jmp 1b
2:	mov dword ptr [CallInEspBefore], esp
	mov eax, [esi]
	mov dword ptr [CallInTarget], eax
	mov eax, [esi + 4]
	mov ebx, [esi + 8]
	mov ecx, [esi + 12]
	mov edx, [esi + 16]
	mov edi, [esi + 24]
	mov ebp, [esi + 28]
	mov esi, [esi + 20]
	call dword ptr [CallInTarget]
	push edi
	mov edi, dword ptr [CallInOut]
	mov [edi], eax
	mov [edi + 4], ebx
	mov [edi + 8], ecx
	mov [edi + 12], edx
	mov [edi + 16], esi
	pop eax
	mov [edi + 20], eax
	mov [edi + 24], ebp
	mov eax, dword ptr [CallInEspBefore]
	mov [edi + 28], eax
	mov [edi + 32], esp
	mov esp, dword ptr [CallInSavedEsp]
	pop edi
	pop esi
	pop ebx
	pop ebp
	ret
