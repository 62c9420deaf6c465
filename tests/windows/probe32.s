# The smallest static 32-bit Linux program: it writes one line and exits 0
# through the i386 system call gate. If the kernel cannot execute 32-bit
# code, running it fails with "Exec format error".
	.globl _start
	.text
_start:
	movl $4, %eax          # write(1, message, length)
	movl $1, %ebx
	movl $message, %ecx
	movl $length, %edx
	int $0x80
	movl $1, %eax          # exit(0)
	xorl %ebx, %ebx
	int $0x80
	.data
message:
	.ascii "32-bit Linux program runs\n"
	length = . - message
