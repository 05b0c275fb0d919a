SELECT Groups.GroupID, Groups.Name, Passwords.PasswordID, Passwords.Description, Passwords.ExpireDate
