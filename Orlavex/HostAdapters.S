/*
 * The plug-in's only assembly: adapters between ordinary C++ calls and host code that
 * passes values in fixed registers. No logic here: each adapter moves registers, calls,
 * and returns.
 *
 * Calls out to the host client (HostCall*): cdecl from C++, the bound host function address
 * first. The host functions keep EBX, ESI, EDI and EBP and return in EAX like any compiled
 * function; the adapters save what they load themselves.
 *
 * Entries from patched host sites (the routines behind the jumps and calls that the patcher
 * writes) belong in this file too, one per site, each stating what the host passes where
 * and who pops.
 */
	.intel_syntax noprefix
	.text

/* uint32_t HostCallEax(function, eax)
 * Host contract: one argument in EAX, nothing on the stack; result in EAX.
 * Used for GetPlayerStat (stat number), DrawStep42 (frame argument), DrawPartyDivider (y). */
	.globl _HostCallEax
	.def _HostCallEax; .scl 2; .type 32; .endef
_HostCallEax:
	mov eax, [esp + 8]
	call dword ptr [esp + 4]
	ret

/* uint32_t HostCallEsi(function, esi)
 * Host contract: one argument in ESI, nothing on the stack; ESI is ours to restore.
 * Used for RefreshUnit (unit) and DrawStep20 (object). */
	.globl _HostCallEsi
	.def _HostCallEsi; .scl 2; .type 32; .endef
_HostCallEsi:
	push esi
	mov esi, [esp + 12]
	call dword ptr [esp + 8]
	pop esi
	ret

/* uint32_t HostCallEdi(function, edi)
 * Host contract: one argument in EDI, nothing on the stack; result in EAX.
 * Used for ClientSetup (LaunchSettings pointer). */
	.globl _HostCallEdi
	.def _HostCallEdi; .scl 2; .type 32; .endef
_HostCallEdi:
	push edi
	mov edi, [esp + 12]
	call dword ptr [esp + 8]
	pop edi
	ret

/* uint32_t HostCallEsiEdi(function, esi, edi)
 * Host contract: arguments in ESI and EDI, nothing on the stack.
 * Used for SetUnitMode (unit in ESI, mode number in EDI). */
	.globl _HostCallEsiEdi
	.def _HostCallEsiEdi; .scl 2; .type 32; .endef
_HostCallEsiEdi:
	push esi
	push edi
	mov esi, [esp + 16]
	mov edi, [esp + 20]
	call dword ptr [esp + 12]
	pop edi
	pop esi
	ret

/* uint32_t HostCallMoveUnit(function, unit, x, y, zero, targetX, targetY)
 * Host contract: unit in ESI, x in EAX, then on the stack y, 0, target x, target y (y at
 * the lowest address); the host pops those four values. Used for MoveUnit. */
	.globl _HostCallMoveUnit
	.def _HostCallMoveUnit; .scl 2; .type 32; .endef
_HostCallMoveUnit:
	push esi
	/* after the push: function +8, unit +12, x +16, y +20, zero +24, targetX +28, targetY +32;
	   each push below moves the next argument to +32 */
	push dword ptr [esp + 32]  /* targetY */
	push dword ptr [esp + 32]  /* targetX */
	push dword ptr [esp + 32]  /* zero */
	push dword ptr [esp + 32]  /* y */
	mov esi, [esp + 28]        /* unit */
	mov eax, [esp + 32]        /* x */
	call dword ptr [esp + 24]  /* function; the host pops the four stack values */
	pop esi
	ret

/* ---- Client features: entries from the packet and item sites ----------------------------
 * Each takes the host's register and stack contract at its patched site, calls the feature's
 * ordinary cdecl routine and hands the host back exactly what its own code would have. */

/* IncomingPacketHook, reached by the jump at ReceivePacketFunc.
 * Host contract: packet in EAX, length as the one stack argument ([esp + 4]).
 * DispatchServerPacket 1: re-run the three host instructions the jump covers (sub esp,1Ch;
 * push esi; mov esi,[esp+24h]) and continue at ReceivePacketResume with EAX the packet.
 * DispatchServerPacket 0: return to the host function's caller, popping the length.
 * EAX, ECX and EDX are the caller's on both paths; the cdecl callee keeps the rest. */
	.globl _IncomingPacketHook
	.def _IncomingPacketHook; .scl 2; .type 32; .endef
_IncomingPacketHook:
	push eax
	push ecx
	push edx
	push dword ptr [esp + 16]  /* length */
	push eax                   /* packet */
	call _DispatchServerPacket
	add esp, 8
	test eax, eax
	pop edx                    /* pops keep the flags */
	pop ecx
	pop eax
	jz 1f
	sub esp, 0x1C
	push esi
	mov esi, [esp + 0x24]      /* the length, as the host's own code loads it */
	jmp dword ptr [_ReceivePacketResume]
1:
	ret 4

/* SendPacketFilteredEntry, reached by the jump at SendPacketFunc; the host's body never runs.
 * Host contract: packet as the one stack argument ([esp + 4]), popped here; size in EBX;
 * result in EAX. EBX, ESI, EDI and EBP are kept by the cdecl callee. */
	.globl _SendPacketFilteredEntry
	.def _SendPacketFilteredEntry; .scl 2; .type 32; .endef
_SendPacketFilteredEntry:
	push ebx                   /* size */
	push dword ptr [esp + 8]   /* packet */
	call _SendPacketFiltered
	add esp, 8
	ret 4

/* ChooseItemColorEntry, reached by the rewritten call at ItemColorCallSite in place of the
 * host function it called. Host contract: four stack arguments, the first the item, popped
 * here; the host caller's colour variable lies at [esp + 36] (16 bytes above the caller's
 * stack pointer once the call has returned). The variable gets ChooseItemColor's result;
 * EAX = 0. */
	.globl _ChooseItemColorEntry
	.def _ChooseItemColorEntry; .scl 2; .type 32; .endef
_ChooseItemColorEntry:
	push dword ptr [esp + 36]  /* the colour so far */
	push dword ptr [esp + 8]   /* item */
	call _ChooseItemColor
	add esp, 8
	mov [esp + 36], eax
	xor eax, eax
	ret 16

/* IsListedItemCodeEntry, reached by the call placed at ItemCodeTestSite over the host's
 * xor eax,eax and 3-byte no-op. Host contract: item code in ECX; EAX = 1 or 0; nothing but
 * EDX and the flags may change besides EAX. ECX is saved here, the rest by the callee. */
	.globl _IsListedItemCodeEntry
	.def _IsListedItemCodeEntry; .scl 2; .type 32; .endef
_IsListedItemCodeEntry:
	push ecx
	push ecx                   /* code */
	call _IsListedItemCode
	add esp, 4
	pop ecx
	ret
