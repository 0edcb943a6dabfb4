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
